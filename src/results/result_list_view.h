#pragma once

#include <QTreeView>

// The report-style result list. Reports presses after the view has moved its
// selection, and double-clicks anywhere (also below the last row).
class ResultListView : public QTreeView {
    Q_OBJECT
  public:
    explicit ResultListView(QWidget* parent = nullptr);

    // Scrolls down by one line, like one click on the down arrow, taking rows added since the
    // last layout into account (the view lays out new rows only when events are processed).
    void scrollLineDown();

  Q_SIGNALS:
    void mousePressed(Qt::MouseButton button, const QPoint& pos);
    void doubleClickedAnywhere();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
