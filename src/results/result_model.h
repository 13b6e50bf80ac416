#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QString>

#include <functional>
#include <vector>

class ImageList;

// One listed video: sub-items 0 title, 1 length, 2 view counts, 3 identifier, and its image.
struct ResultRow {
    QString title;
    QString length;
    QString views;
    QString id;
    int imageIndex = -1;
    // Given by the model when the row is appended: tells rows apart for painting caches.
    quint64 serial = 0;

    // Sub-item 0..3, as the ordering reads them.
    const QString& subItem(int index) const;
};

// The rows of the result list with the columns "#", "Title", "Video Length", "View Counts".
// Keeps an index of identifiers in step with the rows for the duplicate test.
class ResultModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // A row's serial: what it shows never changes while it has the same serial.
    static constexpr int SerialRole = Qt::UserRole + 1;

    explicit ResultModel(const ImageList* images, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void append(ResultRow row);
    void clear();
    const ResultRow& row(int i) const { return rows_[static_cast<size_t>(i)]; }
    int count() const { return static_cast<int>(rows_.size()); }
    bool containsId(const QString& id) const { return ids_.contains(id); }

    // Reorders the rows by compare(a, b) (negative: a first). The sort ends and keeps every row
    // whatever the answers are; a row keeps its image.
    void sortRows(const std::function<int(const ResultRow&, const ResultRow&)>& compare);

  private:
    const ImageList* images_;
    std::vector<ResultRow> rows_;
    QHash<QString, int> ids_;  // identifier -> number of rows holding it
    quint64 nextSerial_ = 1;
};
