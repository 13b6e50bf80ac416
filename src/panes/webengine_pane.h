#pragma once

#include "panes/web_pane.h"

#include <QPointer>
#include <QString>

#include <functional>

class QWebEnginePage;
class QWebEngineView;

// A web pane over Qt WebEngine. Every document it shows is made borderless and without
// scroll bars so the page sits flush in the pane.
class WebEnginePane : public WebPane {
  public:
    explicit WebEnginePane(QWidget* parent = nullptr);
    ~WebEnginePane() override;

    WebEnginePane(const WebEnginePane&) = delete;
    WebEnginePane& operator=(const WebEnginePane&) = delete;

    QWidget* widget() override;
    void navigate(const QString& url) override;
    void stop() override;
    void setNavigationHandler(std::function<bool(const QString& url)> handler) override;
    void setNewWindowHandler(std::function<void(const QString& url)> handler) override;

    QWebEngineView* view() const;
    QWebEnginePage* page() const;
    // The child widget the engine draws into and that receives the mouse; null until the
    // first navigation has created it.
    QWidget* renderWidget() const;

    // The styling script, also run on every finished load.
    static QString stylingScript();

  private:
    class Page;
    class WindowCatcher;

    QPointer<QWebEngineView> view_;
    QPointer<Page> page_;
};
