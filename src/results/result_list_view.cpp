#include "results/result_list_view.h"

#include "results/result_model.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

// Draws each cell once and keeps the picture: during a dig the list is repainted many times a
// second while its rows stay the same, and laying out and shaping the texts and scaling the
// thumbnails again for every paint would cost more than the dig itself.
class CachingDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QVariant serial = index.data(ResultModel::SerialRole);
        if (!serial.isValid() || option.rect.isEmpty()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        constexpr QStyle::State kShown = QStyle::State_Selected | QStyle::State_HasFocus |
                                         QStyle::State_Active | QStyle::State_Enabled |
                                         QStyle::State_MouseOver;
        const qreal ratio = painter->device()->devicePixelRatioF();
        const QString key = QStringLiteral("clipvane-cell-%1-%2-%3x%4-%5-%6-%7")
                                .arg(serial.toULongLong())
                                .arg(index.column())
                                .arg(option.rect.width())
                                .arg(option.rect.height())
                                .arg(int(option.state & kShown))
                                .arg(option.palette.cacheKey())
                                .arg(ratio);
        QPixmap cell;
        if (!QPixmapCache::find(key, &cell)) {
            cell = QPixmap(option.rect.size() * ratio);
            cell.setDevicePixelRatio(ratio);
            cell.fill(option.palette.color(QPalette::Base));
            QPainter cellPainter(&cell);
            QStyleOptionViewItem at(option);
            at.rect = QRect(QPoint(0, 0), option.rect.size());
            QStyledItemDelegate::paint(&cellPainter, at, index);
            cellPainter.end();
            QPixmapCache::insert(key, cell);
        }
        painter->drawPixmap(option.rect.topLeft(), cell);
    }
};

}  // namespace

ResultListView::ResultListView(QWidget* parent) : QTableView(parent) {
    setItemDelegate(new CachingDelegate(this));
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    connect(this, &QAbstractItemView::iconSizeChanged, this, &ResultListView::fitRowsToIcons);
    fitRowsToIcons();
}

// Every row is as high as a thumbnail with a one-pixel frame around it, whatever its text.
void ResultListView::fitRowsToIcons() {
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(std::max(iconSize().height(), fontMetrics().height()) +
                                            2);
}

void ResultListView::setModel(QAbstractItemModel* model) {
    QTableView::setModel(model);
    if (!model)
        return;
    // Anything but an append may move the rows on screen.
    const auto everything = [this] { onlyAppended_ = false; };
    connect(model, &QAbstractItemModel::modelReset, this, everything);
    connect(model, &QAbstractItemModel::layoutChanged, this, everything);
    connect(model, &QAbstractItemModel::rowsRemoved, this, everything);
    connect(model, &QAbstractItemModel::rowsMoved, this, everything);
    connect(model, &QAbstractItemModel::dataChanged, this, everything);
}

void ResultListView::rowsInserted(const QModelIndex& parent, int start, int end) {
    const bool appended = !parent.isValid() && model() && end == model()->rowCount() - 1;
    if (appended && (onlyAppended_ || firstAppended_ < 0)) {
        onlyAppended_ = true;
        if (firstAppended_ < 0)
            firstAppended_ = start;
    } else {
        onlyAppended_ = false;
    }
    QTableView::rowsInserted(parent, start, end);
}

// A dig appends a row many times a second; repainting the whole list for each one would cost
// more than the row itself. Only the appended rows that show are painted.
void ResultListView::doItemsLayout() {
    const bool onlyAppended = onlyAppended_;
    const int first = firstAppended_;
    onlyAppended_ = false;
    firstAppended_ = -1;
    if (!onlyAppended) {
        QTableView::doItemsLayout();
        return;
    }
    updateGeometries();
    const int top = rowViewportPosition(first);
    if (top >= 0 && top < viewport()->height())
        viewport()->update(0, top, viewport()->width(), viewport()->height() - top);
    else if (top < 0)
        viewport()->update();
}

void ResultListView::scrollLineDown() {
    executeDelayedItemsLayout();
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}

void ResultListView::mousePressEvent(QMouseEvent* event) {
    // A press on the empty area below the rows leaves nothing selected, as a list
    // view does.
    if (!indexAt(event->position().toPoint()).isValid())
        clearSelection();
    QTableView::mousePressEvent(event);
    Q_EMIT mousePressed(event->button(), event->position().toPoint());
}

void ResultListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        Q_EMIT doubleClickedAnywhere();
}
