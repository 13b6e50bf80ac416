#include "app/site_config.h"
#include "discovery/video_ref.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct FindCase {
    const char* name;
    const char* word;
    const char* start;
    const char* end;
    const char* expected;
};

class GenericFind : public ::testing::TestWithParam<FindCase> {};

TEST_P(GenericFind, CutsBetweenTokens) {
    const FindCase& c = GetParam();
    EXPECT_EQ(generic_find(QString::fromUtf8(c.word), QString::fromUtf8(c.start),
                           QString::fromUtf8(c.end)),
              QString::fromUtf8(c.expected))
        << c.word;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GenericFind,
    ::testing::Values(FindCase{"BetweenTokens", "abcXdefYghi", "X", "Y", "def"},
                      FindCase{"NoEndTokenGivesRemainder", "abcXdef", "X", "Y", "def"},
                      FindCase{"NoStartTokenGivesEmpty", "abcdef", "X", "Y", ""},
                      FindCase{"EndBeforeStartIsNotSeen", "aYbXc", "X", "Y", "c"},
                      FindCase{"NothingBetween", "XY", "X", "Y", ""},
                      FindCase{"SameStartAndEnd", "aXbXc", "X", "X", "b"},
                      FindCase{"EmptyStartToken", "abcXdef", "", "Y", ""},
                      FindCase{"EmptyWord", "", "X", "Y", ""},
                      // An empty end token is never found: the whole remainder.
                      FindCase{"EmptyEndTokenGivesRemainder", "abcXdefYghi", "X", "", "defYghi"},
                      // Multi-character tokens, case-sensitive, overlapping start and end.
                      FindCase{"MultiCharacterCaseSensitive", "a<b>c<B>d</b>", "<b>", "</b>",
                               "c<B>d"},
                      FindCase{"OverlappingStartAndEnd", "xxABAB", "AB", "AB", ""},
                      // Positions count 16-bit units: a character outside the BMP is two.
                      FindCase{"CountsUtf16Units", "\xF0\x9F\x8E\xB5X\xF0\x9F\x8E\xB5Y", "X", "Y",
                               "\xF0\x9F\x8E\xB5"}),
    [](const auto& info) { return std::string(info.param.name); });

struct IdCase {
    const char* name;
    const char* text;
    const char* expected;
};

class FindVideoId : public ::testing::TestWithParam<IdCase> {};

TEST_P(FindVideoId, CutsTheIdentifier) {
    const IdCase& c = GetParam();
    EXPECT_EQ(find_video_id(QString::fromUtf8(c.text), QStringLiteral("youtu.be/")),
              QString::fromUtf8(c.expected))
        << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindVideoId,
    ::testing::Values(
        IdCase{"WatchAddress", "http://www.youtube.com/watch?v=abc123", "abc123"},
        IdCase{"StopsAtAmpersand", "http://www.youtube.com/watch?v=abc123&feature=related",
               "abc123"},
        IdCase{"BareWatchToken", "watch?v=abc123", "abc123"},
        IdCase{"KeepsFragment", "http://www.youtube.com/watch?v=abc123#t=30", "abc123#t=30"},
        IdCase{"VNotFirstParameter", "http://www.youtube.com/watch?feature=player&v=abc123", ""},
        IdCase{"UpperCaseToken", "http://www.youtube.com/WATCH?V=abc123", ""},
        IdCase{"LastOfTwoAddresses",
               "http://www.youtube.com/watch?v=aaa http://www.youtube.com/watch?v=bbb", "bbb"},
        IdCase{"LastOfTwoRunTogether",
               "http://www.youtube.com/watch?v=aaahttp://www.youtube.com/watch?v=bbb", "bbb"},
        IdCase{"TextAfterAddress", "http://www.youtube.com/watch?v=aaa is great", ""},
        IdCase{"ShortLinkAfterText",
               "http://www.youtube.com/watch?v=aaa is great http://youtu.be/zzz", "zzz"},
        IdCase{"AmpersandBeforeText", "http://www.youtube.com/watch?v=aaa&x=1 is great", "aaa"},
        IdCase{"ShortLink", "http://youtu.be/abc123", "abc123"},
        IdCase{"ShortLinkKeepsQuery", "http://youtu.be/abc123?t=10", "abc123?t=10"},
        IdCase{"ShortLinkWithTextAfter", "http://youtu.be/abc123 nice", ""},
        IdCase{"WatchAfterShortLink", "http://youtu.be/sss and http://www.youtube.com/watch?v=lll",
               "lll"},
        IdCase{"EmptyIdentifier", "watch?v=&x", ""},
        // No host check: "watch?v=" in an address of any site counts, "https" too.
        IdCase{"AnyHostAndHttps", "https://example.org/watch?v=q1", "q1"},
        // The short-link token is case-sensitive as well.
        IdCase{"UpperCaseShortLink", "http://YOUTU.BE/abc123", ""},
        IdCase{"PlainText", "plain text", ""}, IdCase{"EmptyText", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WatchUrlPrefix, IsBuiltFromTheVideoHost) {
    SiteConfig site;
    site.videoHost = QStringLiteral("127.0.0.1:8080");
    site.shortLinkHost = QStringLiteral("short.test");
    EXPECT_EQ(site.watchUrlPrefix() +
                  find_video_id(QStringLiteral("http://short.test/Zz9"), site.shortLinkToken()),
              QStringLiteral("http://127.0.0.1:8080/watch?v=Zz9"));
}

}  // namespace
