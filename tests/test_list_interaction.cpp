// What the user does with listed videos: ordering, presses, double-clicks and
// the list's menu.
#include "support/window_fixture.h"

#include "results/result_list_view.h"
#include "results/result_model.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTest>

namespace {

class ListTest : public WindowTest {
  protected:
    void SetUp() override {
        site.setRelated("start", {"v1", "v2", "v3"});
        site.setDetails("v1", "banana", "4:05", "1,234 views");
        site.setDetails("v2", "Apple", "1:02:03", "2,500,000,000 views");
        site.setDetails("v3", "cherry", "59", "No views");
        site.setRelated("v2", {"w1"});
        open();
        dig("start", 1);
        form->edt1->setEditText("untouched");
    }
    QStringList titles() const {
        QStringList list;
        for (int i = 0; i < form->lv1Items->count(); ++i)
            list << form->lv1Items->row(i).title;
        return list;
    }
    QPoint rowCenter(int row) const {
        return form->lv1->visualRect(form->lv1Items->index(row, 1)).center();
    }
    void press(Qt::MouseButton button, QPoint at) {
        QTest::mousePress(form->lv1->viewport(), button, Qt::NoModifier, at);
        QTest::mouseRelease(form->lv1->viewport(), button, Qt::NoModifier, at);
    }
};

TEST_F(ListTest, EveryAcceptedRequestFlipsTheDirection) {
    form->SortbyTitle1->trigger();
    EXPECT_EQ(titles(), QStringList({"cherry", "banana", "Apple"}));
    form->SortbyTitle1->trigger();
    EXPECT_EQ(titles(), QStringList({"Apple", "banana", "cherry"}));
    form->SortbyVideoLength1->trigger();  // descending
    EXPECT_EQ(titles(), QStringList({"Apple", "banana", "cherry"}));
    form->SortbyViewCounts1->trigger();  // ascending; counts beyond 2^31 sort by their value
    EXPECT_EQ(titles(), QStringList({"cherry", "banana", "Apple"}));
    EXPECT_EQ(form->nSortCol, 3);
}

TEST_F(ListTest, HeaderClicksSortAndTheThumbnailHeaderOnlyFlips) {
    form->lv1->header()->sectionClicked(0);
    EXPECT_TRUE(form->bsort);
    EXPECT_EQ(titles(), QStringList({"banana", "Apple", "cherry"}));  // unsorted
    form->lv1->header()->sectionClicked(1);
    EXPECT_EQ(titles(), QStringList({"Apple", "banana", "cherry"}));
    // Thumbnails stay with their rows.
    for (int i = 0; i < 3; ++i) {
        const ResultRow& row = form->lv1Items->row(i);
        EXPECT_EQ(row.imageIndex, QStringList({"v1", "v2", "v3"}).indexOf(row.id));
    }
}

TEST_F(ListTest, SortRequestsDuringADigChangeNothing) {
    form->btn5->setEnabled(false);  // what a running dig looks like
    form->SortbyTitle1->trigger();
    form->lv1->header()->sectionClicked(2);
    EXPECT_FALSE(form->bsort);
    EXPECT_EQ(form->nSortCol, 0);
    EXPECT_EQ(titles(), QStringList({"banana", "Apple", "cherry"}));
}

TEST_F(ListTest, LeftPressPutsThePressedRowsWatchAddressInTheBox) {
    form->SortbyTitle1->trigger();  // cherry, banana, Apple: actions follow the sorted rows
    form->lv1->selectionModel()->select(
        form->lv1Items->index(0, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    press(Qt::LeftButton, rowCenter(2));
    EXPECT_EQ(form->edt1->currentText(), watchAddress("v2"));

    form->edt1->setEditText("untouched");
    press(Qt::LeftButton, QPoint(10, form->lv1->viewport()->height() - 2));  // below the rows
    EXPECT_EQ(form->edt1->currentText(), "untouched");
}

TEST_F(ListTest, DoubleClickOpensTheVendorWatchPage) {
    QTest::mouseDClick(form->lv1->viewport(), Qt::LeftButton, Qt::NoModifier, rowCenter(1));
    EXPECT_EQ(platform.opened,
              QStringList({QStringLiteral("http://www.%1/watch.php?v=v2").arg(site.host())}));
    EXPECT_EQ(form->edt1->currentText(), watchAddress("v2"));
}

TEST_F(ListTest, RightPressShowsTheMenuForThatRow) {
    press(Qt::RightButton, rowCenter(2));
    EXPECT_TRUE(form->bsm1->isVisible());
    form->bsm1->hide();
    form->WatchThisOnline1->trigger();
    EXPECT_EQ(platform.opened,
              QStringList({QStringLiteral("http://www.%1/watch.php?v=v3").arg(site.host())}));

    form->DigThis1->trigger();
    EXPECT_EQ(form->edt1->currentText(), watchAddress("v3"));
    EXPECT_EQ(form->lv1Items->count(), 0);  // v3's page lists nothing
}

TEST_F(ListTest, DigThisReplacesTheListWithTheRowsRelatedVideos) {
    press(Qt::LeftButton, rowCenter(1));
    form->DigThis1->trigger();
    EXPECT_EQ(listedIds(), QStringList({"w1"}));
    EXPECT_EQ(form->edt1->currentText(), watchAddress("v2"));
}

TEST_F(ListTest, MenuOnAnEmptyListDoesNothing) {
    dig("nothing", 1);
    press(Qt::RightButton, QPoint(20, 20));
    EXPECT_TRUE(form->bsm1->isVisible());
    form->bsm1->hide();
    form->WatchThisOnline1->trigger();
    form->DigThis1->trigger();
    EXPECT_TRUE(platform.opened.isEmpty());
    EXPECT_EQ(watchRequests().count("nothing"), 1);
}

}  // namespace
