#include <gtest/gtest.h>

#include "panes/right_button_filter.h"
#include "panes/sponsor_links.h"
#include "panes/webengine_pane.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

constexpr int kLoadTimeoutMs = 30000;

const char* const kStartPage = R"(<!DOCTYPE html><html><head><style>
html, body { border: 9px solid red; overflow: scroll; }
#tall { height: 5000px; width: 5000px; }
</style></head><body>
<a id="handoff" href="/sponsor?tid=42">sponsor</a>
<a id="upper" href="/next?TID=7">upper case</a>
<div id="tall"></div>
<script>
window.rightDowns = 0; window.leftDowns = 0; window.menus = 0;
document.addEventListener('mousedown', function (e) {
  if (e.button === 2) window.rightDowns++; else if (e.button === 0) window.leftDowns++;
});
document.addEventListener('contextmenu', function () { window.menus++; });
setTimeout(function () {
  var f = document.createElement('iframe');
  f.id = 'late'; f.src = '/frame';
  document.body.appendChild(f);
}, 300);
</script></body></html>)";

// Ads open their targets in new windows: through the link's target, or through a window opened
// empty and sent to the address afterwards.
const char* const kAdsPage = R"(<!DOCTYPE html><html><body style="margin: 0">
<a id="blank" target="_blank" href="/sponsor?tid=44"
   style="position: absolute; left: 0; top: 0; width: 150px; height: 40px">ad</a>
<a id="later" href="#" onclick="var w = window.open(); w.location.href = '/popup?n=1'; return false"
   style="position: absolute; left: 0; top: 60px; width: 150px; height: 40px">later</a>
</body></html>)";

const char* const kFramePage =
    "<html><head><style>body { border: 4px dashed blue; overflow: scroll; }</style></head>"
    "<body>frame <a id=\"framed\" href=\"/sponsor?tid=43\">ad</a></body></html>";

// A page server on 127.0.0.1, served from the test's own event loop, that remembers which paths
// were asked for.
class PageServer {
  public:
    PageServer() {
        pages_.insert("/", {"text/html", kStartPage});
        pages_.insert("/frame", {"text/html", kFramePage});
        pages_.insert("/next", {"text/html", "<html><body>next</body></html>"});
        pages_.insert("/sponsor", {"text/html", "<html><body>sponsor target</body></html>"});
        pages_.insert("/plain", {"text/plain", "just text"});
        pages_.insert("/ads", {"text/html", kAdsPage});
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                 [this, socket] { serve(socket); });
            }
        });
        if (!server_.listen(QHostAddress::LocalHost, 0))
            ADD_FAILURE() << "cannot listen on 127.0.0.1";
    }
    QString url(const char* path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
    }
    bool requested(const QByteArray& path) const { return paths_.contains(path); }

  private:
    struct Page {
        QByteArray type;
        QByteArray body;
    };

    void serve(QTcpSocket* socket) {
        QByteArray& buffer = buffers_[socket];
        buffer += socket->readAll();
        if (!buffer.contains("\r\n\r\n"))
            return;
        const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
        buffers_.remove(socket);
        const QByteArray target = requestLine.value(1);
        const QByteArray path =
            target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?'));
        paths_ << path;
        const auto found = pages_.constFind(path);
        QByteArray response;
        if (found == pages_.constEnd()) {
            response = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n";
        } else {
            response = "HTTP/1.1 200 OK\r\nContent-Type: " + found->type +
                       "\r\nContent-Length: " + QByteArray::number(found->body.size()) + "\r\n";
        }
        response += "Connection: close\r\n\r\n";
        if (found != pages_.constEnd())
            response += found->body;
        socket->write(response);
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    QHash<QByteArray, Page> pages_;
    QHash<QTcpSocket*, QByteArray> buffers_;
    QList<QByteArray> paths_;
};

QVariant evalJs(QWebEnginePage* page, const QString& script) {
    QVariant result;
    bool done = false;
    page->runJavaScript(script, [&](const QVariant& value) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, kLoadTimeoutMs))
        ADD_FAILURE() << "script did not finish: " << script.toStdString();
    return result;
}

// Waits until the condition script yields true; QTRY_ cannot be used with gtest.
bool waitForJs(QWebEnginePage* page, const QString& condition, int timeoutMs = kLoadTimeoutMs) {
    return QTest::qWaitFor([&] { return evalJs(page, condition).toBool(); }, timeoutMs);
}

class WebEnginePaneTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // The engine refuses to start as root with its sandbox on; it reads this when the first
        // view is made, so setting it here still counts when the runner did not pass it in.
        if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }

    void SetUp() override {
        window_.resize(400, 300);
        auto* layout = new QVBoxLayout(&window_);
        pane_ = std::make_unique<WebEnginePane>(&window_);
        layout->addWidget(pane_->widget());
        ordinary_ = new QWidget(&window_);
        ordinary_->setMinimumHeight(40);
        layout->addWidget(ordinary_);
        window_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
    }

    // Loads url in the pane and waits for its load to end.
    bool load(const QString& url) {
        QSignalSpy finished(pane_->page(), &QWebEnginePage::loadFinished);
        pane_->navigate(url);
        return finished.wait(kLoadTimeoutMs) && finished.first().first().toBool();
    }

    QString currentPath() const { return pane_->view()->url().path(); }

    PageServer server_;
    QWidget window_;
    std::unique_ptr<WebEnginePane> pane_;
    QWidget* ordinary_ = nullptr;
};

TEST_F(WebEnginePaneTest, PagesAndLateFramesSitFlush) {
    EXPECT_FALSE(pane_->page()->settings()->testAttribute(QWebEngineSettings::ShowScrollBars));
    ASSERT_TRUE(load(server_.url("/")));
    auto* page = pane_->page();
    EXPECT_TRUE(waitForJs(
        page, QStringLiteral("getComputedStyle(document.body).borderTopStyle === 'none' && "
                             "getComputedStyle(document.body).borderLeftStyle === 'none'")));
    EXPECT_EQ(evalJs(page, "getComputedStyle(document.body).overflow").toString(), "hidden");
    EXPECT_EQ(evalJs(page, "getComputedStyle(document.documentElement).overflow").toString(),
              "hidden");
    // No room is taken by scroll bars even though the page asks for them and overflows.
    EXPECT_EQ(evalJs(page, "window.innerWidth - document.documentElement.clientWidth").toInt(), 0);

    // The frame added after the page finished loading gets the same treatment.
    EXPECT_TRUE(
        waitForJs(page, QStringLiteral("(function () { var f = document.getElementById('late');"
                                       " var d = f && f.contentDocument;"
                                       " return !!(d && d.body && d.readyState === 'complete' &&"
                                       "  getComputedStyle(d.body).borderTopStyle === 'none' &&"
                                       "  getComputedStyle(d.body).overflow === 'hidden'); })()")));
}

TEST_F(WebEnginePaneTest, DocumentsWithoutHtmlBodyLoadUnharmed) {
    ASSERT_TRUE(load(server_.url("/plain")));
    EXPECT_EQ(evalJs(pane_->page(), "document.body.innerText").toString(), "just text");
    // Styling a document that has none of what it touches is no error either.
    EXPECT_EQ(evalJs(pane_->page(), "document.documentElement.removeChild(document.body);" +
                                        WebEnginePane::stylingScript() + "; 'still here'")
                  .toString(),
              "still here");
}

TEST_F(WebEnginePaneTest, HandlerDecidesEveryNavigationFramesIncluded) {
    QStringList seen;
    pane_->setNavigationHandler([&](const QString& url) {
        seen << url;
        return !shouldHandOff(url);
    });
    ASSERT_TRUE(load(server_.url("/")));
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.first(), server_.url("/"));  // the program's own navigation is asked too

    evalJs(pane_->page(), "document.getElementById('handoff').click()");
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen.contains(server_.url("/sponsor?tid=42")); },
                                kLoadTimeoutMs));
    // Give a wrongly accepted navigation the chance to reach the server before judging.
    QSignalSpy started(pane_->page(), &QWebEnginePage::loadStarted);
    started.wait(1000);
    EXPECT_EQ(currentPath(), "/");
    EXPECT_FALSE(server_.requested("/sponsor"));
    EXPECT_EQ(evalJs(pane_->page(), "document.getElementById('handoff') !== null").toBool(), true);

    // A sponsor link inside a frame of the page is asked about as well.
    const char* framedLink =
        "(function () { var f = document.getElementById('late');"
        "  return f && f.contentDocument && f.contentDocument.getElementById('framed'); })()";
    ASSERT_TRUE(waitForJs(pane_->page(), QStringLiteral("!!%1").arg(QLatin1String(framedLink))));
    evalJs(pane_->page(), QStringLiteral("%1.click()").arg(QLatin1String(framedLink)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen.contains(server_.url("/sponsor?tid=43")); },
                                kLoadTimeoutMs));
    started.wait(1000);
    EXPECT_FALSE(server_.requested("/sponsor"));
    EXPECT_TRUE(seen.contains(server_.url("/frame")));

    // Upper-case letters do not count: this one loads inside the pane.
    QSignalSpy finished(pane_->page(), &QWebEnginePage::loadFinished);
    evalJs(pane_->page(), "document.getElementById('upper').click()");
    ASSERT_TRUE(finished.wait(kLoadTimeoutMs));
    EXPECT_EQ(currentPath(), "/next");
    EXPECT_TRUE(seen.contains(server_.url("/next?TID=7")));
    EXPECT_EQ(evalJs(pane_->page(), "document.body.innerText").toString(), "next");
}

TEST_F(WebEnginePaneTest, NewWindowsAreReportedAndNeverOpened) {
    QStringList reported;
    pane_->setNewWindowHandler([&](const QString& url) { reported << url; });
    ASSERT_TRUE(load(server_.url("/ads")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane_->renderWidget() != nullptr; }, kLoadTimeoutMs));
    QWidget* render = pane_->renderWidget();
    // A freshly loaded page may not take input at once: click until the click has an effect.
    auto clickUntilReported = [&](const QPoint& at, const QString& url) {
        for (int attempt = 0; attempt < 15; ++attempt) {
            QTest::mouseClick(render, Qt::LeftButton, {}, at);
            if (QTest::qWaitFor([&] { return reported.contains(url); }, 2000))
                return true;
        }
        return false;
    };
    EXPECT_TRUE(clickUntilReported({60, 20}, server_.url("/sponsor?tid=44")));
    EXPECT_TRUE(clickUntilReported({60, 80}, server_.url("/popup?n=1")));

    // A window the page opens on its own, without the user, is not even reported.
    evalJs(pane_->page(), "window.open('/sponsor?tid=45'); 0");
    QSignalSpy started(pane_->page(), &QWebEnginePage::loadStarted);
    started.wait(1000);
    EXPECT_FALSE(reported.contains(server_.url("/sponsor?tid=45")));

    EXPECT_EQ(currentPath(), "/ads");
    EXPECT_FALSE(server_.requested("/sponsor"));
    EXPECT_FALSE(server_.requested("/popup"));
}

// Records the events that get past the application-wide filters.
class Recorder : public QObject {
  public:
    QList<QEvent::Type> types;
    int rightPresses = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::ContextMenu)
            types << event->type();
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
            ++rightPresses;
        return false;
    }
};

TEST_F(WebEnginePaneTest, RightPressesNeverReachThePage) {
    RightButtonFilter filter;
    qApp->installEventFilter(&filter);
    filter.addPane(pane_->widget());
    ASSERT_TRUE(load(server_.url("/")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane_->renderWidget() != nullptr; }, kLoadTimeoutMs));
    QWidget* render = pane_->renderWidget();
    ASSERT_TRUE(pane_->widget()->isAncestorOf(render));

    Recorder onRender, onOrdinary;
    render->installEventFilter(&onRender);
    ordinary_->installEventFilter(&onOrdinary);

    const QPoint inside(50, 50);
    // A freshly loaded page may not take input at once (a busy machine makes that plain): click
    // until a left press arrives, so the page is known to get mouse input before the right press.
    auto leftClickReaches = [&](int count) {
        for (int attempt = 0; attempt < 15; ++attempt) {
            QTest::mouseClick(render, Qt::LeftButton, {}, inside);
            if (waitForJs(pane_->page(), QStringLiteral("window.leftDowns >= %1").arg(count), 2000))
                return true;
        }
        return false;
    };
    ASSERT_TRUE(leftClickReaches(1));
    const int leftPresses = onRender.types.size();
    QTest::mousePress(render, Qt::RightButton, {}, inside);
    QTest::mouseRelease(render, Qt::RightButton, {}, inside);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, inside, render->mapToGlobal(inside));
    QApplication::sendEvent(render, &menu);
    // A left click afterwards shows that the right press is not merely late.
    const int leftDowns = evalJs(pane_->page(), "window.leftDowns").toInt();
    EXPECT_TRUE(leftClickReaches(leftDowns + 1));
    EXPECT_EQ(evalJs(pane_->page(), "window.rightDowns").toInt(), 0);
    EXPECT_EQ(evalJs(pane_->page(), "window.menus").toInt(), 0);
    // Only left presses got past the filter.
    EXPECT_GT(onRender.types.size(), leftPresses);
    EXPECT_EQ(onRender.rightPresses, 0);
    EXPECT_EQ(onRender.types.count(QEvent::ContextMenu), 0);

    QTest::mousePress(ordinary_, Qt::RightButton);
    QTest::mouseRelease(ordinary_, Qt::RightButton);
    EXPECT_EQ(onOrdinary.types, QList<QEvent::Type>{QEvent::MouseButtonPress});

    qApp->removeEventFilter(&filter);
}

TEST(RightButtonFilter, DropsRightPressesOnStrictDescendantsOnly) {
    QWidget root;
    auto* pane = new QWidget(&root);
    auto* child = new QWidget(pane);
    auto* grandChild = new QWidget(child);
    auto* sibling = new QWidget(&root);
    auto* popup = new QWidget(child, Qt::Popup);
    RightButtonFilter filter;
    filter.addPane(pane);

    const QPointF at(1, 1);
    QMouseEvent rightPress(QEvent::MouseButtonPress, at, at, Qt::RightButton, Qt::RightButton, {});
    QMouseEvent rightDouble(QEvent::MouseButtonDblClick, at, at, Qt::RightButton, Qt::RightButton,
                            {});
    QMouseEvent leftPress(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton, {});
    QMouseEvent rightRelease(QEvent::MouseButtonRelease, at, at, Qt::RightButton, {}, {});
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(1, 1), QPoint(1, 1));

    struct Row {
        const char* name;
        QObject* target;
        QEvent* event;
        bool dropped;
    };
    const Row rows[] = {
        {"right press on child", child, &rightPress, true},
        {"right press on grandchild", grandChild, &rightPress, true},
        {"right double click on child", child, &rightDouble, true},
        {"context menu on grandchild", grandChild, &menu, true},
        {"left press on child", child, &leftPress, false},
        {"right release on child", child, &rightRelease, false},
        {"right press on the pane itself", pane, &rightPress, false},
        {"right press beside the pane", sibling, &rightPress, false},
        {"right press on the window", &root, &rightPress, false},
        {"right press on a popup of the pane's content", popup, &rightPress, false},
        {"not a widget", &filter, &rightPress, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(filter.drops(row.target, row.event), row.dropped);
    }

    delete pane;  // the filter outlives its panes
    EXPECT_FALSE(filter.drops(sibling, &rightPress));
    auto* newPane = new QWidget(&root);
    filter.addPane(newPane);
    EXPECT_TRUE(filter.drops(new QWidget(newPane), &rightPress));
}

}  // namespace
