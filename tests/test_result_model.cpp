#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QPixmap>
#include <QSignalSpy>

#include "base/errors.h"
#include "discovery/image_list.h"
#include "results/ordering.h"
#include "results/result_model.h"

namespace {

class ResultModelTest : public ::testing::Test {
  protected:
    // Row n is titled by letters out of order, and image n has its own colour.
    void appendRows() {
        const char* titles[] = {"delta", "Alpha", "charlie", "Bravo"};
        const char* lengths[] = {"4:05", "10:00", "0:59", "1:02:03"};
        const char* views[] = {"1,234 views", "No views", "12 views", "2,500,000,000 views"};
        for (int i = 0; i < 4; ++i) {
            QImage image(120, 120, QImage::Format_RGB32);
            image.fill(colour(i));
            images.add(image);
            model.append({titles[i], lengths[i], views[i], QStringLiteral("id%1").arg(i),
                          images.count() - 1});
        }
    }
    static QColor colour(int i) { return QColor::fromRgb(QColor::fromHsv(i * 80, 255, 255).rgb()); }
    QColor decorationColour(int row) const {
        const QVariant v = model.data(model.index(row, 0), Qt::DecorationRole);
        return v.value<QPixmap>().toImage().pixelColor(60, 60);
    }
    QStringList titles() const {
        QStringList out;
        for (int i = 0; i < model.count(); ++i)
            out << model.data(model.index(i, 1), Qt::DisplayRole).toString();
        return out;
    }

    ImageList images;
    ResultModel model{&images};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

}  // namespace

TEST_F(ResultModelTest, ShowsColumnsImagesAndHint) {
    const QStringList captions = {"#", "Title", "Video Length", "View Counts"};
    ASSERT_EQ(model.columnCount(), 4);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), captions[c]);

    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    appendRows();
    EXPECT_EQ(inserted.count(), 4);
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(inserted.last().at(1).toInt(), 3);

    EXPECT_FALSE(model.data(model.index(2, 0), Qt::DisplayRole).isValid());
    EXPECT_EQ(model.data(model.index(2, 1), Qt::DisplayRole).toString(), "charlie");
    EXPECT_EQ(model.data(model.index(2, 2), Qt::DisplayRole).toString(), "0:59");
    EXPECT_EQ(model.data(model.index(2, 3), Qt::DisplayRole).toString(), "12 views");
    for (int c = 1; c < 4; ++c)
        EXPECT_FALSE(model.data(model.index(2, c), Qt::DecorationRole).isValid());
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(decorationColour(r), colour(r));
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(model.data(model.index(r, c), Qt::ToolTipRole).toString(),
                      "Double click to watch video.");
    }
    EXPECT_EQ(model.row(3).subItem(3), "id3");
    EXPECT_FALSE(model.flags(model.index(0, 1)).testFlag(Qt::ItemIsEditable));
}

TEST_F(ResultModelTest, ContainsIdFollowsAppendAndClear) {
    EXPECT_FALSE(model.containsId("id0"));
    appendRows();
    EXPECT_TRUE(model.containsId("id0"));
    EXPECT_TRUE(model.containsId("id3"));
    EXPECT_FALSE(model.containsId("ID3"));  // identifiers compare case-sensitively
    model.sortRows(
        [](const ResultRow& a, const ResultRow& b) { return compareRows(a, b, 1, false); });
    EXPECT_TRUE(model.containsId("id2"));

    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.clear();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.containsId("id0"));
    model.append({"t", "1:00", "1 view", "id9", -1});
    EXPECT_TRUE(model.containsId("id9"));
    EXPECT_FALSE(model.containsId("id3"));
    EXPECT_FALSE(model.data(model.index(0, 0), Qt::DecorationRole).isValid());
}

TEST_F(ResultModelTest, SortKeepsImagesAndSelectionWithTheirRows) {
    appendRows();
    QItemSelectionModel selection(&model);
    selection.select(model.index(2, 0),
                     QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);  // "charlie"
    QSignalSpy about(&model, &QAbstractItemModel::layoutAboutToBeChanged);
    QSignalSpy changed(&model, &QAbstractItemModel::layoutChanged);

    const struct {
        int column;
        bool bsort;
        QStringList order;
    } sorts[] = {
        {1, true, {"delta", "charlie", "Bravo", "Alpha"}},
        {1, false, {"Alpha", "Bravo", "charlie", "delta"}},
        {2, false, {"charlie", "delta", "Alpha", "Bravo"}},
        {3, true, {"Bravo", "delta", "charlie", "Alpha"}},
    };
    const QStringList original = {"delta", "Alpha", "charlie", "Bravo"};
    for (const auto& s : sorts) {
        model.sortRows([&](const ResultRow& a, const ResultRow& b) {
            return compareRows(a, b, s.column, s.bsort);
        });
        EXPECT_EQ(titles(), s.order) << s.column;
        for (int r = 0; r < 4; ++r) {
            const int added = static_cast<int>(original.indexOf(model.row(r).title));
            EXPECT_EQ(model.row(r).imageIndex, added);
            EXPECT_EQ(model.row(r).id, QStringLiteral("id%1").arg(added));
            EXPECT_EQ(decorationColour(r), colour(added));
        }
        const QModelIndexList selected = selection.selectedRows();
        ASSERT_EQ(selected.size(), 1);
        EXPECT_EQ(model.row(selected.first().row()).title, "charlie");
    }
    EXPECT_EQ(about.count(), changed.count());
    EXPECT_GE(changed.count(), 3);
}

TEST_F(ResultModelTest, FailingComparisonChangesNothing) {
    appendRows();
    model.append({"echo", "live", "1 view", "id4", -1});
    QSignalSpy about(&model, &QAbstractItemModel::layoutAboutToBeChanged);
    const QStringList before = titles();
    EXPECT_THROW(model.sortRows([](const ResultRow& a, const ResultRow& b) {
        return compareRows(a, b, 2, false);
    }),
                 AppError);
    EXPECT_EQ(titles(), before);
    EXPECT_EQ(about.count(), 0);
}

TEST_F(ResultModelTest, InconsistentComparisonKeepsEveryRow) {
    for (int round = 0; round < 3; ++round)
        appendRows();
    int calls = 0;
    model.sortRows([&](const ResultRow&, const ResultRow&) { return (++calls % 3) - 1; });
    ASSERT_EQ(model.count(), 12);
    QMap<QString, int> seen;
    for (int r = 0; r < model.count(); ++r)
        seen[model.row(r).id] += 1;
    EXPECT_EQ(seen.size(), 4);
    for (int n : seen)
        EXPECT_EQ(n, 3);
}
