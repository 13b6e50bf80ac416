#pragma once

#include <QTreeView>

// The report-style result list. Reports presses after the view has moved its
// selection, and double-clicks anywhere (also below the last row).
class ResultListView : public QTreeView {
    Q_OBJECT
  public:
    explicit ResultListView(QWidget* parent = nullptr);

  Q_SIGNALS:
    void mousePressed(Qt::MouseButton button, const QPoint& pos);
    void doubleClickedAnywhere();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
