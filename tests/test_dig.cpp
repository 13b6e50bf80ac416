// The Dig command and the page explorer, driven through the window against a
// fake video site.
#include "support/window_fixture.h"

#include "results/result_list_view.h"
#include "results/result_model.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

namespace {

const QString kDownloadError =
    QStringLiteral("Download error, please check your internet connection and retry");

QStringList ids(const char* prefix, int count) {
    QStringList list;
    for (int i = 1; i <= count; ++i)
        list << QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(i);
    return list;
}

class DigTest : public WindowTest {
  protected:
    void SetUp() override {
        // start -> a1 a2 a3; each ai -> b(i) and shared s; each bi -> c(i); c's
        // lead nowhere new.
        site.setRelated("start", {"a1", "a2", "a3"});
        site.setRelated("a1", {"b1", "s", "start"});
        site.setRelated("a2", {"b2", "s", "a1"});
        site.setRelated("a3", {"b3", "s"});
        site.setRelated("b1", {"c1"});
        site.setRelated("b2", {"c2"});
        site.setRelated("b3", {"c3", "a3"});
        open();
        site.clearRequests();
    }
    bool idle() const { return form->btn5->isEnabled() && form->bsSkinButton3->isEnabled(); }
};

TEST_F(DigTest, DepthOneListsTheStartPageInOrderWithThumbnails) {
    dig("start", 1);
    EXPECT_EQ(listedIds(), QStringList({"a1", "a2", "a3"}));
    EXPECT_EQ(watchRequests(), QStringList({"start"}));
    EXPECT_EQ(site.requests("/vi/").size(), 3);
    EXPECT_EQ(form->ImageList1.count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(form->lv1Items->row(i).imageIndex, i);
    const ResultRow& first = form->lv1Items->row(0);
    EXPECT_EQ(first.title, "Title a1");
    EXPECT_EQ(first.length, "1:00");
    EXPECT_TRUE(form->Label2->isVisible());
    EXPECT_EQ(form->Label2->text(), "3 Videos Found");
    EXPECT_TRUE(idle());
    EXPECT_TRUE(platform.messages.isEmpty());
    EXPECT_EQ(platform.panes.at(1)->navigations,
              QStringList({QStringLiteral("http://%1/ads.php").arg(site.host())}));
}

TEST_F(DigTest, DepthTwoExploresLastRowFirstAndSkipsListedVideos) {
    dig("start", 2);
    EXPECT_EQ(watchRequests(), QStringList({"start", "a3", "a2", "a1"}));
    // "s" is added once; "a1" on a2's page is already listed; "start" is not a
    // row, so it is added.
    EXPECT_EQ(listedIds(), QStringList({"a1", "a2", "a3", "b3", "s", "b2", "b1", "start"}));
    EXPECT_EQ(form->Label2->text(), "8 Videos Found");
    EXPECT_EQ(form->ImageList1.count(), 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(form->lv1Items->row(i).imageIndex, i);
    EXPECT_TRUE(idle());
}

TEST_F(DigTest, DepthThreeExploresEveryRowOfTheFirstLevelAgain) {
    dig("start", 3);
    const QStringList second = {"start", "b1", "b2", "s", "b3", "a3", "a2", "a1"};
    EXPECT_EQ(watchRequests(), QStringList({"start", "a3", "a2", "a1"}) + second);
    EXPECT_EQ(listedIds(),
              QStringList({"a1", "a2", "a3", "b3", "s", "b2", "b1", "start", "c1", "c2", "c3"}));
    EXPECT_TRUE(idle());
}

TEST_F(DigTest, StartPageListsDuplicatesAndExplorerSkipsThemInOnePage) {
    site.setRelated("dup", {"x", "x", "X"});
    site.setRelated("x", {"y", "y", "X"});
    dig("dup", 2);
    // No duplicate test on the start page; identifiers differ by case are
    // different videos.
    EXPECT_EQ(listedIds(), QStringList({"x", "x", "X", "y"}));
}

TEST_F(DigTest, TheListScrollsOneLinePerRowSoTheNewestRowsShow) {
    site.setRelated("many", ids("m", 12));
    dig("many", 1);
    const int last = form->lv1Items->count() - 1;
    EXPECT_GT(form->lv1->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(form->lv1->viewport()->rect().intersects(
        form->lv1->visualRect(form->lv1Items->index(last, 1))));
}

TEST_F(DigTest, StopDuringTheStartPageEndsAfterTheCurrentRow) {
    QObject::connect(form->lv1Items, &QAbstractItemModel::rowsInserted, form.get(), [this] {
        if (form->lv1Items->count() == 2)
            form->bsSkinButton1->click();
    });
    dig("start", 3);
    EXPECT_EQ(listedIds(), QStringList({"a1", "a2"}));
    EXPECT_EQ(watchRequests(), QStringList({"start"}));
    EXPECT_TRUE(idle());
}

TEST_F(DigTest, ClosingTheWindowDuringADigEndsTheDig) {
    QObject::connect(form->lv1Items, &QAbstractItemModel::rowsInserted, form.get(), [this] {
        if (form->lv1Items->count() == 2)
            form->close();
    });
    dig("start", 3);
    EXPECT_EQ(listedIds(), QStringList({"a1", "a2"}));
    EXPECT_EQ(watchRequests(), QStringList({"start"}));
    EXPECT_FALSE(form->isVisible());
}

TEST_F(DigTest, StopDuringALevelPassesOverTheRestOfTheLevel) {
    QObject::connect(form->lv1Items, &QAbstractItemModel::rowsInserted, form.get(), [this] {
        if (form->lv1Items->count() == 4)  // the first row a3's page adds
            form->bsSkinButton1->click();
    });
    dig("start", 3);
    EXPECT_EQ(watchRequests(), QStringList({"start", "a3"}));
    EXPECT_EQ(listedIds(), QStringList({"a1", "a2", "a3", "b3"}));
    EXPECT_TRUE(idle());
}

TEST_F(DigTest, ThumbnailFailureOnTheStartPageEndsTheDigWithOneMessage) {
    site.fail("/vi/a3/default.jpg");
    dig("start", 2);
    EXPECT_EQ(platform.messages, QStringList({kDownloadError}));
    EXPECT_EQ(listedIds(), QStringList({"a1", "a2"}));
    EXPECT_EQ(watchRequests(), QStringList({"start"}));
    EXPECT_TRUE(idle());
}

TEST_F(DigTest, ThumbnailFailureInTheExplorerSkipsThatVideoSilently) {
    site.fail("/vi/b3/default.jpg");
    dig("start", 2);
    EXPECT_TRUE(platform.messages.isEmpty());
    EXPECT_FALSE(listedIds().contains("b3"));
    EXPECT_TRUE(listedIds().contains("b2"));
}

TEST_F(DigTest, PageFailureInALevelShowsOneMessageAndEndsAfterTheLevel) {
    site.fail("/watch?v=a3");
    site.fail("/watch?v=a2");
    dig("start", 3);
    EXPECT_EQ(platform.messages, QStringList({kDownloadError}));
    EXPECT_EQ(watchRequests(), QStringList({"start", "a3"}));
    EXPECT_EQ(listedIds(), QStringList({"a1", "a2", "a3"}));
    EXPECT_TRUE(idle());
}

TEST_F(DigTest, StartPageFailureLeavesAnEmptyListAndIdleButtons) {
    dig("start", 1);
    site.fail("/watch?v=gone");
    dig("gone", 2);
    EXPECT_EQ(platform.messages, QStringList({kDownloadError}));
    EXPECT_EQ(form->lv1Items->count(), 0);
    EXPECT_FALSE(form->Label2->isVisible());
    EXPECT_TRUE(idle());
}

TEST_F(DigTest, WrongAddressesAreRefusedAndEmptyTheList) {
    dig("start", 1);
    for (const QString text : {"   ", "cats", "http://example.org/watch?x=1"}) {
        form->edt1->setEditText(text);
        form->btn5Click(form->btn5);
    }
    EXPECT_EQ(platform.messages,
              QStringList(3, QStringLiteral("Please make sure you type correct Youtube URL.")));
    EXPECT_EQ(form->lv1Items->count(), 0);
    EXPECT_FALSE(form->Label2->isVisible());
}

TEST_F(DigTest, ShortLinkAndEnterDigLikeTheLongAddress) {
    form->cbb2->setCurrentText("1");
    form->edt1->setEditText("see http://youtu.be/start");
    QTest::keyClick(form->edt1, Qt::Key_Return);
    EXPECT_EQ(watchRequests(), QStringList({"start"}));
    EXPECT_EQ(listedIds().size(), 3);
}

TEST_F(DigTest, PageWithoutMarkupListsNothingAndSaysNothing) {
    site.setPage("/watch?v=plain", "<html><body>nothing here</body></html>");
    dig("plain", 3);
    EXPECT_EQ(form->lv1Items->count(), 0);
    EXPECT_FALSE(form->Label2->isVisible());
    EXPECT_TRUE(platform.messages.isEmpty());
    EXPECT_TRUE(idle());
}

TEST_F(DigTest, ABrokenPatternGoesToTheErrorReportAndTheWindowGoesOn) {
    form->regx = "(unclosed";
    form->cbb2->setCurrentText("1");
    form->edt1->setEditText(watchAddress("start"));
    form->btn5->click();
    ASSERT_EQ(platform.errors.size(), 1);
    EXPECT_TRUE(
        platform.errors[0].startsWith("TPerlRegEx.Compile() - Error in regex at offset 9: "))
        << platform.errors[0].toStdString();
    EXPECT_TRUE(idle());
    form->btn5->click();  // fails the same way every time
    EXPECT_EQ(platform.errors.size(), 2);
}

TEST_F(DigTest, ADigRequestDuringADigIsIgnored) {
    bool triedNested = false;
    QObject::connect(form->lv1Items, &QAbstractItemModel::rowsInserted, form.get(), [&] {
        if (form->lv1Items->count() == 1 && !triedNested) {
            triedNested = true;
            form->edt1->setEditText(watchAddress("b1"));
            form->edt1KeyDown(form->edt1, Qt::Key_Return);
        }
    });
    dig("start", 1);
    EXPECT_TRUE(triedNested);
    EXPECT_EQ(listedIds(), QStringList({"a1", "a2", "a3"}));
    EXPECT_EQ(watchRequests(), QStringList({"start"}));
}

}  // namespace
