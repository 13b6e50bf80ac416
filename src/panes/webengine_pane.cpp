#include "panes/webengine_pane.h"

#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

class WebEnginePane::Page : public QWebEnginePage {
  public:
    explicit Page(QObject* parent) : QWebEnginePage(parent) {}

    std::function<bool(const QString&)> handler;

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

QWebEngineView* WebEnginePane::view() const {
    return view_;
}

QWebEnginePage* WebEnginePane::page() const {
    return page_;
}

QWidget* WebEnginePane::renderWidget() const {
    return view_ ? view_->focusProxy() : nullptr;
}
