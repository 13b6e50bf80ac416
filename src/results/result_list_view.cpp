#include "results/result_list_view.h"

#include <QMouseEvent>
#include <QScrollBar>

ResultListView::ResultListView(QWidget* parent) : QTreeView(parent) {}

void ResultListView::scrollLineDown() {
    executeDelayedItemsLayout();
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}

void ResultListView::mousePressEvent(QMouseEvent* event) {
    // A press on the empty area below the rows leaves nothing selected, as a list
    // view does.
    if (!indexAt(event->position().toPoint()).isValid())
        clearSelection();
    QTreeView::mousePressEvent(event);
    Q_EMIT mousePressed(event->button(), event->position().toPoint());
}

void ResultListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        Q_EMIT doubleClickedAnywhere();
}
