#include "results/result_model.h"

#include "discovery/image_list.h"
#include "results/ordering.h"

#include <QPixmap>

const QString& ResultRow::subItem(int index) const {
    switch (index) {
        case 0:
            return title;
        case 1:
            return length;
        case 2:
            return views;
        case 3:
            return id;
        default: {
            static const QString none;
            return none;
        }
    }
}

ResultModel::ResultModel(const ImageList* images, QObject* parent)
    : QAbstractTableModel(parent), images_(images) {}

int ResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

int ResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 4;
}

QVariant ResultModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ResultRow& r = row(index.row());
    switch (role) {
        case Qt::DisplayRole:
            if (index.column() == 0)
                return {};
            return r.subItem(index.column() - 1);
        case Qt::DecorationRole:
            if (index.column() == 0 && images_ != nullptr) {
                const QPixmap pixmap = images_->pixmap(r.imageIndex);
                if (!pixmap.isNull())
                    return pixmap;
            }
            return {};
        case SerialRole:
            return QVariant::fromValue(r.serial);
        case Qt::ToolTipRole:
            return QStringLiteral("Double click to watch video.");
        default:
            return {};
    }
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
        case 0:
            return QStringLiteral("#");
        case 1:
            return QStringLiteral("Title");
        case 2:
            return QStringLiteral("Video Length");
        case 3:
            return QStringLiteral("View Counts");
        default:
            return {};
    }
}

void ResultModel::append(ResultRow row) {
    const int at = count();
    beginInsertRows({}, at, at);
    ids_[row.id] += 1;
    row.serial = nextSerial_++;
    rows_.push_back(std::move(row));
    endInsertRows();
}

void ResultModel::clear() {
    beginResetModel();
    rows_.clear();
    ids_.clear();
    endResetModel();
}

void ResultModel::sortRows(const std::function<int(const ResultRow&, const ResultRow&)>& compare) {
    const int n = count();
    if (n < 2)
        return;
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        order[static_cast<size_t>(i)] = i;
    // All comparisons happen before the layout change starts: one that throws leaves the
    // rows and any view untouched.
    mergeSortIndices(order, [&](int a, int b) { return compare(row(a), row(b)); });

    bool moved = false;
    for (int i = 0; i < n && !moved; ++i)
        moved = order[static_cast<size_t>(i)] != i;
    if (!moved)
        return;

    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newPosition(static_cast<size_t>(n));
    std::vector<ResultRow> sorted;
    sorted.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int from = order[static_cast<size_t>(i)];
        newPosition[static_cast<size_t>(from)] = i;
        sorted.push_back(std::move(rows_[static_cast<size_t>(from)]));
    }
    rows_.swap(sorted);

    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before)
        after.append(index(newPosition[static_cast<size_t>(old.row())], old.column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
