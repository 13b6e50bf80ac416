#pragma once

#include <QString>

#include <functional>

class QWidget;

// An embedded web view as the window uses it. The real one is Qt WebEngine; tests use a
// recorder so that widget tests need no browser engine.
class WebPane {
  public:
    virtual ~WebPane() = default;

    virtual QWidget* widget() = 0;
    // Starts loading the address and returns at once.
    virtual void navigate(const QString& url) = 0;
    // Stops all loading.
    virtual void stop() = 0;
    // Called before every navigation of the page or one of its frames; false cancels it.
    virtual void setNavigationHandler(std::function<bool(const QString& url)> handler) = 0;
    // Called when the user has the page open a new window (a link with a target, window.open),
    // with the address that window was to show. The pane itself opens no window. A pane that
    // shows no pages has nothing to report.
    virtual void setNewWindowHandler(std::function<void(const QString& url)> handler) {
        (void)handler;
    }
};
