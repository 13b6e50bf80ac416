#include "panes/webengine_pane.h"

#include <QTimer>
#include <QUrl>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

// A page that opens its window first and gives it an address afterwards shows nothing worth
// waiting for beyond this.
constexpr int kCatchTimeMs = 30000;

bool isBlank(const QUrl& url) {
    return url.isEmpty() || url.scheme() == QLatin1String("about");
}

}  // namespace

// Stands in for a window that a page opened without its address (window.open() followed by a
// new location): it loads nothing and reports the first address the window is sent to.
class WebEnginePane::WindowCatcher : public QWebEnginePage {
  public:
    WindowCatcher(QObject* parent, std::function<void(const QUrl&)> report)
        : QWebEnginePage(parent), report_(std::move(report)) {
        QTimer::singleShot(kCatchTimeMs, this, &QObject::deleteLater);
    }

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        if (!isMainFrame || isBlank(url))
            return true;
        if (report_) {
            const auto report = std::exchange(report_, nullptr);
            report(url);
            deleteLater();
        }
        return false;
    }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

  private:
    std::function<void(const QUrl&)> report_;
};

class WebEnginePane::Page : public QWebEnginePage {
  public:
    explicit Page(QObject* parent) : QWebEnginePage(parent) {
        connect(this, &QWebEnginePage::newWindowRequested, this, &Page::onNewWindow);
    }

    std::function<bool(const QString&)> handler;
    std::function<void(const QString&)> newWindowHandler;

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        // Frames count too: sponsor links usually live in an ad's own frame.
        if (handler) {
            // A handler may replace itself while it runs; keep the running one alive.
            const auto decide = handler;
            if (!decide(url.toString(QUrl::FullyEncoded)))
                return false;
        }
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }
    // The window itself is never made: the address is reported instead.
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

  private:
    void report(const QUrl& url) {
        if (newWindowHandler) {
            const auto decide = newWindowHandler;
            decide(url.toString(QUrl::FullyEncoded));
        }
    }

    void onNewWindow(QWebEngineNewWindowRequest& request) {
        // Only windows the user asked for: a page must not open windows on its own.
        if (!request.isUserInitiated())
            return;
        if (!isBlank(request.requestedUrl())) {
            report(request.requestedUrl());
            return;
        }
        QPointer<Page> self(this);
        request.openIn(new WindowCatcher(this, [self](const QUrl& url) {
            if (self)
                self->report(url);
        }));
    }
};

QString WebEnginePane::stylingScript() {
    // Documents without a body (images, XML, plain error pages) are left alone; anything the
    // page itself breaks is swallowed so a styling failure never shows up as a script error.
    return QStringLiteral(
        "(function () {\n"
        "  try {\n"
        "    var doc = document;\n"
        "    if (!doc || !doc.body || !doc.body.style) return;\n"
        "    doc.body.style.setProperty('border-style', 'none', 'important');\n"
        "    doc.body.style.setProperty('overflow', 'hidden', 'important');\n"
        "    var root = doc.documentElement;\n"
        "    if (root && root.style) root.style.setProperty('overflow', 'hidden', 'important');\n"
        "  } catch (e) {}\n"
        "})();");
}

WebEnginePane::WebEnginePane(QWidget* parent)
    : view_(new QWebEngineView(parent)), page_(new Page(view_)) {
    view_->setPage(page_);
    page_->settings()->setAttribute(QWebEngineSettings::ShowScrollBars, false);

    QWebEngineScript styling;
    styling.setName(QStringLiteral("clipvane-flush-body"));
    styling.setInjectionPoint(QWebEngineScript::DocumentReady);
    styling.setWorldId(QWebEngineScript::ApplicationWorld);
    styling.setRunsOnSubFrames(true);
    styling.setSourceCode(stylingScript());
    page_->scripts().insert(styling);

    // Also on every finished load, for pages that replace their body after the document is ready.
    QObject::connect(page_, &QWebEnginePage::loadFinished, page_, [page = page_.data()](bool) {
        page->runJavaScript(stylingScript(), QWebEngineScript::ApplicationWorld);
    });
}

WebEnginePane::~WebEnginePane() {
    // The parent widget may already have deleted the view (and the page with it).
    delete view_.data();
}

QWidget* WebEnginePane::widget() {
    return view_;
}

void WebEnginePane::navigate(const QString& url) {
    if (view_)
        view_->load(QUrl(url));
}

void WebEnginePane::stop() {
    if (view_)
        view_->stop();
}

void WebEnginePane::setNavigationHandler(std::function<bool(const QString& url)> handler) {
    if (page_)
        page_->handler = std::move(handler);
}

void WebEnginePane::setNewWindowHandler(std::function<void(const QString& url)> handler) {
    if (page_)
        page_->newWindowHandler = std::move(handler);
}

QWebEngineView* WebEnginePane::view() const {
    return view_;
}

QWebEnginePage* WebEnginePane::page() const {
    return page_;
}

QWidget* WebEnginePane::renderWidget() const {
    return view_ ? view_->focusProxy() : nullptr;
}
