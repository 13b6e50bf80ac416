// The dig engine without a window: an in-memory site, the real matcher.
#include "discovery/dig_engine.h"
#include "discovery/perl_regex.h"
#include "support/qt_printers.h"
#include "support/watch_page.h"

#include <gtest/gtest.h>

#include <QHash>
#include <QSet>

namespace {

const QString kPrefix = QStringLiteral("http://site/watch?v=");

class MemorySite : public DigFetcher {
  public:
    void setRelated(const QString& id, const QStringList& related) {
        QList<QByteArray> items;
        for (const QString& r : related)
            items << relatedItemMarkup(r.toUtf8(), "//img/vi/" + r.toUtf8() + "/default.jpg",
                                       "1:00", "Title " + r.toUtf8(), "5 views");
        pages_.insert(kPrefix + id, watchPage(items));
    }
    void fail(const QString& url) { failing_.insert(url); }
    static QString thumb(const QString& id) {
        return QStringLiteral("http://img/vi/%1/default.jpg").arg(id);
    }

    Outcome fetchPage(const QString& url, QByteArray& body) override {
        requests << url;
        if (failing_.contains(url))
            return Outcome::Failed;
        body = pages_.value(url, "<html></html>");
        return Outcome::Ok;
    }
    Outcome fetchThumbnail(const QString& url, QByteArray& body) override {
        requests << url;
        if (failing_.contains(url))
            return Outcome::Failed;
        body = "picture of " + url.toUtf8();
        return Outcome::Ok;
    }

    QStringList requests;

  private:
    QHash<QString, QByteArray> pages_;
    QSet<QString> failing_;
};

class Recorder : public DigListener {
  public:
    void rowAdded(const DigRow& row, qsizetype index, const QByteArray& thumbnail) override {
        EXPECT_EQ(index, qsizetype(ids.size()));
        ids << row.video.id;
        thumbnails << thumbnail;
    }
    void failed(Failure what, const QString& url) override { failures << qMakePair(what, url); }
    void afterRow() override {
        if (stopAfterRows > 0 && ids.size() == stopAfterRows)
            *stop = true;
    }
    void afterPage() override { ++pages; }

    QStringList ids;
    QList<QByteArray> thumbnails;
    QList<QPair<Failure, QString>> failures;
    int pages = 0;
    qsizetype stopAfterRows = 0;
    bool* stop = nullptr;
};

class DigEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The start page lists x twice; a1's page lists the start video and a2; the start page is
        // explored again at depth 3.
        site.setRelated("start", {"a1", "x", "a2", "x"});
        site.setRelated("a1", {"start", "a2", "b1"});
        site.setRelated("x", {"b1", "a1"});
        site.setRelated("a2", {"b2", "x"});
        site.setRelated("b1", {"c1", "a1"});
        recorder.stop = &stop;
    }
    DigEngine& run(int depth, const DigChoices& choices = {}) {
        engine = std::make_unique<DigEngine>(matcher, site, recorder, stop);
        engine->run("start", depth, builtInRelatedPattern(), kPrefix, choices);
        return *engine;
    }
    QStringList pageRequests() const {
        QStringList pages;
        for (const QString& url : site.requests)
            if (url.startsWith(kPrefix))
                pages << url.mid(kPrefix.size());
        return pages;
    }

    TPerlRegEx matcher;
    MemorySite site;
    Recorder recorder;
    bool stop = false;
    std::unique_ptr<DigEngine> engine;
};

TEST_F(DigEngineTest, LevelsExploreNewestFirstAndKeepWhereEachRowCameFrom) {
    const DigEngine& dig = run(3);
    // Level 2 explores a2, x, x, a1 (newest first, the start page's duplicate included), level 3
    // the rows present when it begins, again newest first.
    EXPECT_EQ(pageRequests(), QStringList({"start", "x", "a2", "x", "a1", "start", "b2", "b1", "x",
                                           "a2", "x", "a1"}));
    EXPECT_EQ(recorder.ids, QStringList({"a1", "x", "a2", "x", "b1", "b2", "start", "c1"}));
    ASSERT_EQ(dig.rows().size(), 8u);

    struct Expected {
        const char* id;
        int level;
        const char* via;
        int listed;
    };
    const Expected expected[] = {
        {"a1", 1, "start", 3},                     // start, x, b1
        {"b2", 2, "a2", 1},    {"b1", 2, "x", 2},  // x, a1
        {"start", 2, "a1", 1}, {"c1", 3, "b1", 1},
    };
    for (const Expected& e : expected) {
        const DigRow* row = dig.find(QString::fromLatin1(e.id));
        ASSERT_NE(row, nullptr) << e.id;
        EXPECT_EQ(row->level, e.level) << e.id;
        EXPECT_EQ(row->foundVia, QString::fromLatin1(e.via)) << e.id;
        EXPECT_EQ(row->timesListed, e.listed) << e.id;
    }
    // Every (page, video) pair once, however often the page was explored.
    QSet<QPair<QString, QString>> pairs;
    for (const DigEdge& edge : dig.edges())
        pairs.insert({edge.source, edge.target});
    EXPECT_EQ(pairs.size(), qsizetype(dig.edges().size()));
    EXPECT_EQ(dig.edges().size(), 3u + 2 + 2 + 3 + 2);  // pages start, x, a2, a1, b1
    EXPECT_TRUE(dig.finished());
}

TEST_F(DigEngineTest, ThumbnailsComeWithTheirRowsAndFailuresFollowTheChoices) {
    site.fail(MemorySite::thumb("x"));
    run(2);
    // The start page's failed thumbnail ends the dig there by default.
    EXPECT_EQ(recorder.ids, QStringList({"a1"}));
    EXPECT_EQ(recorder.thumbnails.value(0), "picture of " + MemorySite::thumb("a1").toUtf8());
    ASSERT_EQ(recorder.failures.size(), 1);
    EXPECT_EQ(recorder.failures[0].first, DigListener::Failure::StartThumbnail);
    EXPECT_FALSE(engine->finished());

    recorder = Recorder{};
    recorder.stop = &stop;
    site.requests.clear();
    DigChoices crawl;
    crawl.startThumbnailFailureEndsDig = false;
    run(2, crawl);
    EXPECT_EQ(recorder.ids, QStringList({"a1", "a2", "b2", "start", "b1"}));
    EXPECT_TRUE(recorder.failures.isEmpty());
}

TEST_F(DigEngineTest, APageFailureStopsAfterTheLevelOrIsSkippedAndCounted) {
    site.fail(kPrefix + "a2");
    run(3);
    EXPECT_EQ(pageRequests(), QStringList({"start", "x", "a2"}));
    EXPECT_TRUE(stop);
    EXPECT_EQ(recorder.failures.size(), 1);

    stop = false;
    recorder = Recorder{};
    recorder.stop = &stop;
    site.requests.clear();
    DigChoices crawl;
    crawl.pageFailureStopsDig = false;
    const DigEngine& dig = run(2, crawl);
    EXPECT_EQ(pageRequests(), QStringList({"start", "x", "a2", "x", "a1"}));
    EXPECT_EQ(dig.failedPages(), 1);
    EXPECT_EQ(recorder.pages, 5);  // every page, the failed one too, lets events through
    EXPECT_TRUE(dig.finished());
}

TEST_F(DigEngineTest, WithoutThumbnailsEveryListedVideoIsARowUpToTheLimit) {
    DigChoices choices;
    choices.fetchThumbnails = false;
    choices.maxRows = 6;
    const DigEngine& dig = run(3, choices);
    EXPECT_EQ(recorder.ids, QStringList({"a1", "x", "a2", "x", "b1", "b2"}));
    EXPECT_TRUE(dig.reachedMaxRows());
    EXPECT_FALSE(dig.finished());
    for (const QString& url : site.requests)
        EXPECT_TRUE(url.startsWith(kPrefix)) << url.toStdString();
}

TEST_F(DigEngineTest, AStopAfterARowEndsTheStartPageOrPassesOverTheLevel) {
    recorder.stopAfterRows = 2;
    run(3);
    EXPECT_EQ(recorder.ids, QStringList({"a1", "x"}));
    EXPECT_EQ(pageRequests(), QStringList({"start"}));

    stop = false;
    recorder = Recorder{};
    recorder.stop = &stop;
    recorder.stopAfterRows = 5;  // the first row a2's page adds
    site.requests.clear();
    run(3);
    EXPECT_EQ(pageRequests(), QStringList({"start", "x"}));
    EXPECT_EQ(recorder.ids.size(), 5);
}

}  // namespace
