#include <gtest/gtest.h>

#include "discovery/feel_lucky.h"
#include "support/qt_printers.h"

namespace {

const QString kFivePage = QStringLiteral(
    "<a href=\"/watch?v=AAAAAAAAAAA\">1</a><a href=\"/watch?v=BBBBBBBBBBB\">2</a>"
    "<a href=\"/watch?v=CCCCCCCCCCC\">3</a><a href=\"/watch?v=DDDDDDDDDDD\">4</a>"
    "<a href=\"/watch?v=EEEEEEEEEEE\">5</a><a href=\"/watch?v=FFFFFFFFFFF\">6</a>");

TEST(FeelLucky, PicksReferenceLuckyPlusOneOrTheLast) {
    const QString twoPage =
        QStringLiteral("x watch?v=first1234567\" y watch?v=second12345\" z no more here");
    struct Row {
        const QString* page;
        int lucky;
        const char* expected;
    };
    const Row rows[] = {
        {&kFivePage, 0, "AAAAAAAAAAA"},  // first press
        {&kFivePage, 2, "CCCCCCCCCCC"},  // second
        {&kFivePage, 4, "EEEEEEEEEEE"},  // third
        {&kFivePage, 6, "FFFFFFFFFFF"},  // past the end: the last one
        {&twoPage, 0, "first1234567"},
        {&twoPage, 2, "second12345"},
        {&twoPage, 4, "second12345"},
        {&twoPage, 1000000, "second12345"},
        {&twoPage, -1, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.lucky);
        EXPECT_EQ(pickLuckyReference(*row.page, row.lucky), QLatin1String(row.expected));
    }
}

TEST(FeelLucky, TextUpToTheNextQuote) {
    struct Row {
        const char* page;
        int lucky;
        const char* expected;
    };
    const Row rows[] = {
        {"", 0, ""},
        {"<html>no references</html>", 4, ""},
        // No quote after the reference: the rest of the page.
        {"a watch?v=abcdefghijk&list=1 and the end", 0, "abcdefghijk&list=1 and the end"},
        {"a watch?v=abcdefghijk&feature=related\"x", 0, "abcdefghijk&feature=related"},
        // Directly followed by a quote: empty, even though a reference was found.
        {"a watch?v=\" b", 0, ""},
        // The three characters after the token are skipped together with it.
        {"watch?v=abwatch?v=zzz\" watch?v=third\"", 2, "third"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.page);
        EXPECT_EQ(pickLuckyReference(QString::fromUtf8(row.page), row.lucky),
                  QString::fromUtf8(row.expected));
    }
}

TEST(FeelLucky, HomePageIsDecodedStrictly) {
    const QByteArray page = "<a href=\"/watch?v=first\">caf\xc3\xa9</a>";
    EXPECT_EQ(pickLuckyReference(decodePageText(page), 0), "first");
    // One invalid byte anywhere: no text, so nothing is picked.
    EXPECT_EQ(decodePageText(page + "\xff"), QString());
    EXPECT_EQ(decodePageText("\xc3" + page), QString());
    // A byte-order mark stays, as a character.
    EXPECT_EQ(decodePageText("\xef\xbb\xbfx"), QStringLiteral("\ufeffx"));
}

}  // namespace
