#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <vector>

// Application-wide event filter that keeps right-button presses (and context-menu requests)
// from reaching the content of the registered panes. Install it on qApp.
class RightButtonFilter : public QObject {
    Q_OBJECT
  public:
    explicit RightButtonFilter(QObject* parent = nullptr);

    // Presses on strict descendants of pane are dropped; pane itself is not affected. A pane
    // may be destroyed at any time.
    void addPane(QWidget* pane);

    // True when the event is one this filter drops for a widget of that target.
    bool drops(QObject* target, const QEvent* event) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::vector<QPointer<QWidget>> panes_;
};
