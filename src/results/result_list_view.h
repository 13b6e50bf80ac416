#pragma once

#include <QTableView>

// The report-style result list: whole rows, no grid, a clickable header, one thumbnail per row.
// A table rather than a tree view, because a tree lays out every row again for each row added,
// which makes a long dig slower the longer it runs. Reports presses after the view has moved its
// selection, and double-clicks anywhere (also below the last row).
class ResultListView : public QTableView {
    Q_OBJECT
  public:
    explicit ResultListView(QWidget* parent = nullptr);

    QHeaderView* header() const { return horizontalHeader(); }

    // Scrolls down by one line, like one click on the down arrow, taking rows added since the
    // last layout into account.
    void scrollLineDown();

    void setModel(QAbstractItemModel* model) override;
    void doItemsLayout() override;

  Q_SIGNALS:
    void mousePressed(Qt::MouseButton button, const QPoint& pos);
    void doubleClickedAnywhere();

  protected:
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    void fitRowsToIcons();

    // Rows were only appended since the last layout: the rows on screen stay as they are.
    bool onlyAppended_ = false;
    int firstAppended_ = -1;
};
