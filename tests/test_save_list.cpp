// "Save List As…": the list's popup menu and Ctrl+S write the list as shown to a file chosen
// through the platform's save dialog.
#include "support/window_fixture.h"

#include "results/result_list_view.h"
#include "results/result_model.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

namespace {

class SaveListTest : public WindowTest {
  protected:
    void SetUp() override {
        // start -> a1 a2 a3; a2 -> b1 and a1 (listed already).
        site.setRelated("start", {"a1", "a2", "a3"});
        site.setRelated("a2", {"b1", "a1"});
        site.setDetails("a1", "Beta &amp; co", "1:00", "30 views");
        site.setDetails("a2", "alpha, &quot;the&quot; first", "10:00", "1,000 views");
        site.setDetails("a3", "Gamma", "0:59", "No views");
        site.setDetails("b1", "Delta", "2:00", "7 views");
        open();
    }
    QString saveTo(const QString& name, int filter = 0) {
        platform.saveAnswer = name.isEmpty() ? QString() : dir.filePath(name);
        platform.saveFilterAnswer = filter;
        form->SaveListAs1->trigger();
        return platform.saveAnswer;
    }
    static QByteArray read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Whether the item is offered when the menu opens.
    bool offered() {
        form->bsm1->popup(form->lv1->viewport()->mapToGlobal(QPoint(5, 5)));
        const bool enabled = form->SaveListAs1->isEnabled();
        form->bsm1->hide();
        return enabled;
    }

    QTemporaryDir dir;
};

TEST_F(SaveListTest, TheItemFollowsTheFiveItemsAfterASeparator) {
    QStringList names;
    for (const QAction* action : form->bsm1->actions())
        names << (action->isSeparator() ? QStringLiteral("-") : action->objectName());
    EXPECT_EQ(names, QStringList({"WatchThisOnline1", "DigThis1", "-", "SortbyTitle1",
                                  "SortbyVideoLength1", "SortbyViewCounts1", "-", "SaveListAs1"}));
    EXPECT_EQ(form->SaveListAs1->text(), QString::fromUtf8("Save List As\xE2\x80\xA6"));
    EXPECT_EQ(form->SaveListAs1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
}

TEST_F(SaveListTest, SavesTheListInItsShownOrderWithTheDigsLevelsAndOrigins) {
    dig("start", 2);
    form->SortbyTitle1->trigger();  // Z to A: Gamma, Delta, Beta &amp; co, alpha...
    const QString path = saveTo("list.csv");
    EXPECT_EQ(platform.saveDialogs, QStringList({"Save List As"}));
    EXPECT_EQ(platform.saveFilters,
              QStringList({"CSV (*.csv)", "JSON (*.json)", "GEXF graph (*.gexf)"}));
    const QStringList lines = QString::fromUtf8(read(path)).split("\r\n");
    const QString thumbs = QStringLiteral("http://%1/vi/").arg(site.host());
    EXPECT_EQ(lines,
              QStringList({
                  "position,id,title,length,seconds,views,view_count,level,found_via,"
                  "times_listed,thumbnail",
                  "1,a3,Gamma,0:59,59,No views,,1,start,1," + thumbs + "a3/default.jpg",
                  "2,b1,Delta,2:00,120,7 views,7,2,a2,1," + thumbs + "b1/default.jpg",
                  "3,a1,Beta & co,1:00,60,30 views,30,1,start,2," + thumbs + "a1/default.jpg",
                  "4,a2,\"alpha, \"\"the\"\" first\",10:00,600,\"1,000 views\",1000,1,start,"
                  "1," +
                      thumbs + "a2/default.jpg",
                  "",
              }));
    EXPECT_TRUE(platform.messages.isEmpty());
}

TEST_F(SaveListTest, TheFormatComesFromTheExtensionElseFromTheChosenFilter) {
    dig("start", 2);
    const struct {
        const char* name;
        int filter;
        const char* head;
    } cases[] = {
        {"by-filter", 1, "{"},     {"by-filter-graph", 2, "<?xml"}, {"list.json", 0, "{"},
        {"list.GEXF", 0, "<?xml"}, {"list.csv", 2, "position,"},    {"list.txt", 0, "position,"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_TRUE(read(saveTo(k.name, k.filter)).startsWith(k.head));
    }
    const QJsonObject root = QJsonDocument::fromJson(read(dir.filePath("list.json"))).object();
    EXPECT_EQ(root["start"].toString(), "start");
    EXPECT_EQ(root["depth"].toInt(), 2);
    EXPECT_EQ(root["interrupted"].toBool(), false);
    EXPECT_EQ(root["rows"].toArray().size(), 4);
    // start>a1..a3, a2>b1, a2>a1
    EXPECT_EQ(root["edges"].toArray().size(), 5);
}

TEST_F(SaveListTest, ACancelledDialogWritesNothing) {
    dig("start", 1);
    saveTo(QString());
    EXPECT_EQ(platform.saveDialogs.size(), 1);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
    EXPECT_TRUE(platform.messages.isEmpty());
}

TEST_F(SaveListTest, AFailedWriteNamesThePathAndTheReasonAndKeepsTheOldFile) {
    dig("start", 1);
    // A folder where the file should go cannot be replaced by it.
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.csv"));
    const QString path = saveTo("taken.csv");
    ASSERT_EQ(platform.messages.size(), 1);
    EXPECT_TRUE(platform.messages[0].startsWith("Could not save the list to " + path + ": "));
    EXPECT_GT(platform.messages[0].size(), ("Could not save the list to " + path + ": ").size());
    EXPECT_TRUE(QFileInfo(path).isDir());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList({"taken.csv"}));
}

TEST_F(SaveListTest, RefusedWithAnEmptyListAndWhileADigRuns) {
    EXPECT_FALSE(offered());
    saveTo("empty.csv");
    EXPECT_TRUE(platform.saveDialogs.isEmpty());

    bool offeredDuringDig = true;
    QObject::connect(form->lv1Items, &QAbstractItemModel::rowsInserted, form.get(), [&] {
        if (form->lv1Items->count() != 2)
            return;
        offeredDuringDig = offered();
        saveTo("during.csv");
    });
    dig("start", 1);
    EXPECT_FALSE(offeredDuringDig);
    EXPECT_TRUE(platform.saveDialogs.isEmpty());
    EXPECT_TRUE(offered());
}

TEST_F(SaveListTest, CtrlSOnTheWindowOpensTheDialogOnlyWhenTheListCanBeSaved) {
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    platform.saveAnswer = dir.filePath("keys.csv");
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(platform.saveDialogs.isEmpty());
    dig("start", 1);
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(platform.saveDialogs.size(), 1);
    EXPECT_TRUE(read(platform.saveAnswer).startsWith("position,"));
}

}  // namespace
