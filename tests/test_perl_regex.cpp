#include "base/errors.h"
#include "discovery/perl_regex.h"
#include "discovery/related_videos.h"
#include "support/qt_printers.h"
#include "support/watch_page.h"

#include <gtest/gtest.h>

#include <pcre2.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<QByteArray> allMatches(TPerlRegEx& re) {
    std::vector<QByteArray> found;
    for (bool more = re.Match(); more; more = re.MatchAgain())
        found.push_back(re.GetGroups(0));
    return found;
}

struct SearchCase {
    const char* name;
    const char* pattern;
    QByteArray subject;
    std::vector<QByteArray> expected;
};

class MatcherSearch : public ::testing::TestWithParam<SearchCase> {};

// Leftmost, non-overlapping matches searched front to back, with the fixed options: UTF-8,
// any newline, case-sensitive, never empty.
TEST_P(MatcherSearch, FindsEveryMatchInOrder) {
    const SearchCase& c = GetParam();
    TPerlRegEx re;
    re.SetRegEx(c.pattern);
    re.SetSubject(c.subject);
    re.Study();
    EXPECT_EQ(allMatches(re), c.expected) << c.pattern;
    EXPECT_FALSE(re.MatchAgain()) << "a finished search stays finished";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MatcherSearch,
    ::testing::Values(
        SearchCase{"Digits", "\\d+", "12 345 6", {"12", "345", "6"}},
        SearchCase{"Lazy", "<.+?>", "<a><b>", {"<a>", "<b>"}},
        SearchCase{"Greedy", "<.+>", "<a><b>", {"<a><b>"}},
        // Never empty: a pattern that can match nothing reports only its non-empty matches.
        SearchCase{"NeverEmptyStar", "a*", "baab", {"aa"}},
        SearchCase{"NeverEmptyNoMatch", "x*", "abc", {}},
        SearchCase{"AnchorOnce", "^a", "aaa", {"a"}},
        SearchCase{"CaseSensitive", "Abc", "abc ABC Abc", {"Abc"}},
        SearchCase{"BlankIsLiteral", "a b", "ab a  b a b", {"a b"}},
        // Any newline sequence is a newline: "." stops at a lone CR, "$" sees CR LF.
        SearchCase{"DotStopsAtLoneCr", "a.b", "a\rb a\nb axb", {"axb"}},
        SearchCase{"DollarBeforeCrLf", "b$", "ab\r\n", {"b"}},
        // One character, not one byte.
        SearchCase{
            "CharacterNotByte", "\xC3\xA9.", "\xC3\xA9\xC3\xA9x\xC3\xBC", {"\xC3\xA9\xC3\xA9"}},
        SearchCase{"OutsideBmp",
                   "\\x{1F3B5}+",
                   "a\xF0\x9F\x8E\xB5\xF0\x9F\x8E\xB5",
                   {"\xF0\x9F\x8E\xB5\xF0\x9F\x8E\xB5"}},
        // A subject that is not strict UTF-8 is searched as the empty subject.
        SearchCase{"InvalidUtf8IsEmpty", "a", "a\xFF", {}},
        SearchCase{"EmptySubject", "a", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

// \C may end a match inside a character; the search must not resume there. (The JIT does not
// take \C in UTF mode, so this runs on the interpreter, without Study.)
TEST(Matcher, NeverResumesInsideACharacter) {
    TPerlRegEx re;
    re.SetRegEx("\\C");
    re.SetSubject(
        "\xC3\xA9"
        "a");
    EXPECT_EQ(allMatches(re), std::vector<QByteArray>{"\xC3"});
}

// A repeated group crossing a long stretch exhausts the JIT's stack; the match must still be
// found rather than quietly lost.
TEST(Matcher, LongRepeatedGroupStillMatches) {
    const QByteArray subject = "<li>" + QByteArray(256 * 1024, 'x') + "</li><li>y</li>";
    TPerlRegEx re;
    re.SetRegEx("<li>((?:.|\\n)+?)</li>");
    re.SetSubject(subject);
    re.Study();
    ASSERT_TRUE(re.Match());
    EXPECT_EQ(re.GetGroups(1).size(), 256 * 1024);
    ASSERT_TRUE(re.MatchAgain());
    EXPECT_EQ(re.GetGroups(1), "y");
}

TEST(Matcher, GroupsOutsideTheMatchAreEmpty) {
    TPerlRegEx re;
    re.SetRegEx("(x)?(b)|(c)");
    re.SetSubject("ab");
    re.Study();
    ASSERT_TRUE(re.Match());
    EXPECT_EQ(re.GetGroups(0), "b");
    EXPECT_EQ(re.GetGroups(1), "") << "did not take part";
    EXPECT_EQ(re.GetGroups(2), "b");
    EXPECT_EQ(re.GetGroups(3), "") << "beyond the highest group set";
    EXPECT_EQ(re.GetGroups(99), "");
    EXPECT_EQ(re.GetGroups(-1), "");

    EXPECT_FALSE(re.MatchAgain());
    EXPECT_EQ(re.GetGroups(2), "") << "no result after a failed search";

    re.SetSubject("cb");
    ASSERT_TRUE(re.Match()) << "a new subject is searched from its first byte";
    EXPECT_EQ(re.GetGroups(3), "c");
}

TEST(Matcher, MoreThan99GroupsIsNoMatch) {
    for (int groups : {99, 100, 150}) {
        QByteArray pattern;
        for (int i = 0; i < groups; ++i)
            pattern += "(a)";
        TPerlRegEx re;
        re.SetRegEx(pattern);
        re.SetSubject(QByteArray(groups, 'a'));
        re.Study();
        EXPECT_EQ(re.Match(), groups <= 99) << groups << " groups";
        EXPECT_EQ(re.GetGroups(99), groups <= 99 ? QByteArray("a") : QByteArray());
    }
}

TEST(Matcher, UnchangedPatternIsNotCompiledAgain) {
    TPerlRegEx re;
    re.SetRegEx("(\\w+)");
    re.SetSubject("one");
    re.Study();
    ASSERT_TRUE(re.Match());
    re.SetRegEx(QByteArray("(\\w+)"));  // equal bytes, another buffer
    re.SetSubject("two");
    re.Study();
    EXPECT_EQ(re.compileCount(), 1);
    ASSERT_TRUE(re.Match());
    EXPECT_EQ(re.GetGroups(1), "two");

    re.SetRegEx("(\\d+)");
    EXPECT_FALSE(re.compiled());
    EXPECT_EQ(re.GetGroups(1), "") << "a new pattern forgets the last result";
    re.SetSubject("a 42");
    re.Study();
    EXPECT_EQ(re.compileCount(), 2);
    ASSERT_TRUE(re.Match());
    EXPECT_EQ(re.GetGroups(1), "42");
}

QString studyError(TPerlRegEx& re) {
    try {
        re.Study();
    } catch (const AppError& e) {
        return e.message();
    }
    return QStringLiteral("(no error)");
}

TEST(Matcher, CompileErrorsAreReportedEveryTime) {
    struct {
        QByteArray pattern;
        QString message;
    } const cases[] = {
        {"", "TPerlRegEx.Compile() - Please specify a regular expression in RegEx first"},
        {"(", "TPerlRegEx.Compile() - Error in regex at offset 1: missing closing parenthesis"},
        // The offset counts bytes of the UTF-8 pattern: "é" is two.
        {"\xC3\xA9(",
         "TPerlRegEx.Compile() - Error in regex at offset 3: missing closing "
         "parenthesis"},
        {"a\xFF",
         "TPerlRegEx.Compile() - Error in regex at offset 1: UTF-8 error: illegal byte "
         "(0xfe or 0xff)"},
    };
    for (const auto& c : cases) {
        TPerlRegEx re;
        re.SetRegEx(c.pattern);
        re.SetSubject("((");
        EXPECT_EQ(studyError(re), c.message);
        EXPECT_FALSE(re.compiled());
        re.SetRegEx(c.pattern);
        EXPECT_EQ(studyError(re), c.message) << "the pattern stays uncompiled";
        EXPECT_THROW(re.Match(), AppError);
        EXPECT_EQ(re.compileCount(), 0);
    }
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kAddressSanitizer = false;
#endif

long virtualMemoryBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    statm >> pages;
    return pages * sysconf(_SC_PAGESIZE);
}

// The JIT of a large pattern under a tight address-space limit runs out of memory; the study
// then leaves matching to the interpreter without an error. Runs in a child process so that the
// limit stays there.
TEST(MatcherDeathTest, StudyWithoutMemoryForTheJitIsNoError) {
    if (kAddressSanitizer)
        GTEST_SKIP() << "the address sanitizer cannot run under an address-space limit";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QByteArray pattern;
    for (int i = 0; i < 1000; ++i)
        pattern += "(?:a" + QByteArray::number(i) + "b|c[d-f]+?g)";
    EXPECT_EXIT(
        {
            TPerlRegEx re;
            re.SetRegEx(pattern);
            re.Compile();
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = virtualMemoryBytes() + 64 * 1024;
            setrlimit(RLIMIT_AS, &limit);
            try {
                re.Study();
            } catch (const AppError& e) {
                std::fprintf(stderr, "%s\n", e.what());
                _exit(3);
            }
            _exit(re.compiled() ? 0 : 4);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(Matcher, JitThatCannotHaveMemoryLeavesTheSameMatchesToTheInterpreter) {
    QList<QByteArray> items;
    for (int i = 0; i < 40; ++i)
        items << relatedItemMarkup("id" + QByteArray::number(i), "//i.example/vi/x/default.jpg",
                                   "4:05", "T\xC3\xADtulo &amp; " + QByteArray::number(i),
                                   "1,234 views");
    const QByteArray page = watchPage(items, 3000);
    const QByteArray pattern = builtInRelatedPattern().toUtf8();
    auto groups = [&](TPerlRegEx& re) {
        re.SetRegEx(pattern);
        re.SetSubject(page);
        re.Study();
        std::vector<QByteArray> found;
        for (bool more = re.Match(); more; more = re.MatchAgain()) {
            for (int g = 1; g <= 5; ++g)
                found.push_back(re.GetGroups(g));
        }
        return found;
    };
    TPerlRegEx withJit;
    const std::vector<QByteArray> expected = groups(withJit);
    ASSERT_EQ(expected.size(), 200u);

    // Any other failure of the JIT stays the study error, with the engine's message.
    PCRE2_UCHAR internal[256];
    pcre2_get_error_message(PCRE2_ERROR_INTERNAL, internal, sizeof internal);
    const std::string studyError = "TPerlRegEx.Study() - Error studying the regex: " +
                                   std::string(reinterpret_cast<const char*>(internal));
    const struct {
        int jitResult;
        std::string error;  // empty: the interpreter takes over silently
    } cases[] = {
        {PCRE2_ERROR_NOMEMORY, ""},
        {PCRE2_ERROR_JIT_BADOPTION, ""},
        {PCRE2_ERROR_INTERNAL, studyError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.jitResult);
        TPerlRegEx re;
        re.setJitCompiler([&](pcre2_code*, uint32_t) { return c.jitResult; });
        if (c.error.empty()) {
            EXPECT_EQ(groups(re), expected);
            EXPECT_EQ(groups(re), expected) << "a second page";
            continue;
        }
        try {
            groups(re);
            ADD_FAILURE() << "no study error";
        } catch (const AppError& e) {
            EXPECT_EQ(e.message().toStdString(), c.error);
        }
    }
}

TEST(StrictUtf8, AcceptsOnlyWellFormedBytes) {
    struct {
        QByteArray bytes;
        bool valid;
    } const cases[] = {
        {"", true},
        {"plain ascii markup <li>", true},
        {"\xEF\xBB\xBFwith a byte-order mark", true},
        {"\xC2\x80 \xDF\xBF \xE0\xA0\x80 \xED\x9F\xBF \xEE\x80\x80 \xEF\xBF\xBF", true},
        {"\xF0\x90\x80\x80 \xF4\x8F\xBF\xBF", true},
        {QByteArray("nul\0inside", 10), true},
        {"lone \xFF byte", false},
        {"stray \x80 continuation", false},
        {"overlong \xC0\xAF slash", false},
        {"overlong \xC1\xBF", false},
        {"overlong \xE0\x9F\xBF", false},
        {"overlong \xF0\x8F\xBF\xBF", false},
        {"surrogate \xED\xA0\x80", false},
        {"beyond \xF4\x90\x80\x80", false},
        {"beyond \xF5\x80\x80\x80", false},
        {"cut at the end \xE2\x82", false},
        {"cut before ascii \xE2\x82z", false},
        {"0123456789abcdef0123456789abcdef\xC3", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isStrictUtf8(c.bytes.constData(), c.bytes.size()), c.valid)
            << c.bytes.toHex().data();
}

}  // namespace
