#include "base/errors.h"
#include "discovery/perl_regex.h"
#include "discovery/related_videos.h"
#include "support/qt_printers.h"
#include "support/watch_page.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

QByteArray itemNo(int i) {
    const QByteArray n = QByteArray::number(i);
    return relatedItemMarkup("id" + n, "//i.ytimg.com/vi/id" + n + "/default.jpg",
                             QByteArray::number(i + 1) + ":0" + n, "Title " + n, n + ",000 views");
}

RelatedVideo expectedNo(int i) {
    const QString n = QString::number(i);
    return RelatedVideo{"id" + n, "//i.ytimg.com/vi/id" + n + "/default.jpg",
                        QString::number(i + 1) + ":0" + n, "Title " + n, n + ",000 views"};
}

std::vector<RelatedVideo> scanAll(TPerlRegEx& matcher, const QByteArray& page,
                                  const QString& pattern = builtInRelatedPattern()) {
    RelatedVideoScan scan(matcher, pattern, page);
    scan.study();
    std::vector<RelatedVideo> found;
    for (RelatedVideo v; scan.next(v);)
        found.push_back(v);
    return found;
}

std::vector<RelatedVideo> scanAll(const QByteArray& page) {
    TPerlRegEx matcher;
    return scanAll(matcher, page);
}

void expectSame(const std::vector<RelatedVideo>& actual,
                const std::vector<RelatedVideo>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(actual[i].id, expected[i].id);
        EXPECT_EQ(actual[i].thumb, expected[i].thumb);
        EXPECT_EQ(actual[i].length, expected[i].length);
        EXPECT_EQ(actual[i].title, expected[i].title);
        EXPECT_EQ(actual[i].views, expected[i].views);
    }
}

TEST(RelatedPattern, IsTheBuiltInText) {
    const QString pattern = builtInRelatedPattern();
    EXPECT_EQ(pattern.size(), 293);
    EXPECT_TRUE(pattern.contains(QStringLiteral("\"related-video  yt-uix-sessionlink\"")));
}

TEST(RelatedVideoScan, EveryCompleteItemInPageOrder) {
    for (int n : {0, 1, 3, 12}) {
        SCOPED_TRACE(n);
        QList<QByteArray> items;
        std::vector<RelatedVideo> expected;
        for (int i = 0; i < n; ++i) {
            items += itemNo(i);
            expected.push_back(expectedNo(i));
        }
        expectSame(scanAll(watchPage(items, 600)), expected);
    }
}

TEST(RelatedVideoScan, FieldsAreDecodedFromUtf8AndReferencesStay) {
    const QByteArray page =
        watchPage({relatedItemMarkup("a-B_9", "//i.ytimg.com/vi/a-B_9/mqdefault.jpg", "1:02:03",
                                     "Tom &amp; Jerry &quot;\xC3\x9C"
                                     "ber&quot; \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xB5",
                                     "1,234,567 views")});
    expectSame(scanAll(page), {{"a-B_9", "//i.ytimg.com/vi/a-B_9/mqdefault.jpg", "1:02:03",
                                QString::fromUtf8("Tom &amp; Jerry &quot;\xC3\x9C"
                                                  "ber&quot; "
                                                  "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xB5"),
                                "1,234,567 views"}});
}

// An item without one of its pieces borrows that piece, and all after it, from the next item,
// which then yields no match of its own.
TEST(RelatedVideoScan, ItemMissingAPieceBorrowsFromTheNext) {
    QByteArray second = itemNo(1);
    second.replace("<span class=\"video-time\">2:01</span>", "");
    RelatedVideo combined = expectedNo(2);
    combined.id = "id1";
    combined.thumb = "//i.ytimg.com/vi/id1/default.jpg";
    expectSame(scanAll(watchPage({itemNo(0), second, itemNo(2)}, 600)), {expectedNo(0), combined});

    QByteArray last = itemNo(2);
    last.replace("<span class=\"stat view-count\">", "<span class=\"stat\">");
    expectSame(scanAll(watchPage({itemNo(0), itemNo(1), last}, 600)),
               {expectedNo(0), expectedNo(1)});
}

TEST(RelatedVideoScan, MarkupDifferingByOneCharacterGivesNothing) {
    const std::pair<QByteArray, QByteArray> edits[] = {
        {"related-video  yt-uix", "related-video yt-uix"},
        {"<li class=", "<LI class="},
        {"video-list-item related-list-item", "related-list-item video-list-item"},
        {"data-thumb=\"", "data-thumb='"},
        {"class=\"video-time\"", "class=\"Video-time\""},
        {"<span dir=\"ltr\" class=\"title\"", "<span class=\"title\" dir=\"ltr\""},
        {"class=\"stat view-count\"", "class=\"stat  view-count\""},
    };
    for (const auto& [from, to] : edits) {
        QByteArray item = itemNo(0);
        ASSERT_TRUE(item.contains(from)) << from.data();
        item.replace(from, to);
        EXPECT_EQ(scanAll(watchPage({item}, 600)).size(), 0u) << to.data();
    }
}

TEST(RelatedVideoScan, AnyInvalidByteEmptiesThePage) {
    const QByteArray invalid[] = {"\xFF",    "\x80", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                  "\xE2\x82"};
    for (const QByteArray& bad : invalid) {
        SCOPED_TRACE(bad.toHex().data());
        // Far from every item, at the very end, and inside a title.
        EXPECT_EQ(scanAll(watchPage({itemNo(0), itemNo(1)}, 600) + "<!--" + bad + "-->").size(),
                  0u);
        EXPECT_EQ(scanAll(watchPage({itemNo(0), itemNo(1)}) + bad).size(), 0u);
        const QByteArray title = "Broken " + bad + " title";
        EXPECT_EQ(
            scanAll(watchPage({itemNo(0), relatedItemMarkup("x", "//t", "1:00", title, "1 view")}))
                .size(),
            0u);
    }
}

TEST(RelatedVideoScan, ByteOrderMarkStaysAsACharacter) {
    const QByteArray page = "\xEF\xBB\xBF" + watchPage({itemNo(0), itemNo(1)});
    expectSame(scanAll(page), {expectedNo(0), expectedNo(1)});

    TPerlRegEx matcher;
    const auto found = scanAll(matcher, page, QStringLiteral("^\\x{FEFF}(<!DOCTYPE html>)"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].id, QStringLiteral("<!DOCTYPE html>"));
}

TEST(RelatedVideoScan, ThreeGroupPatternLeavesTitleAndViewsEmpty) {
    const QString threeGroups = QStringLiteral(
        R"re(<li class="video-list-item related-list-item">[\s\S]+?v=([^"]*)"[\s\S]+?data-thumb="([^"]*)"[\s\S]+?class="video-time">([^<]*)</span>)re");
    TPerlRegEx matcher;
    RelatedVideo first = expectedNo(0), second = expectedNo(1);
    first.title = second.title = first.views = second.views = QString();
    expectSame(scanAll(matcher, watchPage({itemNo(0), itemNo(1)}), threeGroups), {first, second});
}

// One matcher for the whole session: the pattern is compiled once for every page, and a
// replacement pattern that does not compile fails every scan alike.
TEST(RelatedVideoScan, MatcherIsReusedAcrossPages) {
    TPerlRegEx matcher;
    for (int i = 0; i < 3; ++i)
        expectSame(scanAll(matcher, watchPage({itemNo(i)})), {expectedNo(i)});
    EXPECT_EQ(matcher.compileCount(), 1);

    const QString broken = QStringLiteral("<li class=\"video-list-item\">([^\"]*");
    for (int attempt = 0; attempt < 2; ++attempt) {
        RelatedVideoScan scan(matcher, broken, watchPage({itemNo(0)}));
        try {
            scan.study();
            ADD_FAILURE() << "no error";
        } catch (const AppError& e) {
            EXPECT_EQ(e.message(),
                      QStringLiteral("TPerlRegEx.Compile() - Error in regex at offset 34: "
                                     "missing closing parenthesis"));
        }
    }
    EXPECT_EQ(matcher.compileCount(), 1);
}

}  // namespace
