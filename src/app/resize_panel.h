#pragma once

#include <QFrame>

// A panel that reports its size changes after its layout has placed the
// children, so a handler sees the children's new sizes.
class ResizePanel : public QFrame {
    Q_OBJECT
  public:
    using QFrame::QFrame;

  Q_SIGNALS:
    void resized();

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QFrame::resizeEvent(event);
        Q_EMIT resized();
    }
};
