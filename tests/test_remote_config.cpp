#include <gtest/gtest.h>

#include "app/remote_config.h"
#include "build_config.h"

#include <QStringEncoder>

namespace {

struct LinesCase {
    const char* name;
    QByteArray bytes;
    QStringList lines;
};

QByteArray utf16(QStringEncoder::Encoding encoding, const QString& text) {
    QStringEncoder encoder(encoding, QStringEncoder::Flag::WriteBom);
    return encoder(text);
}

TEST(RemoteConfigLines, SplitsAndDecodes) {
    const QString caption = QString::fromUtf8("Clipvane 2.0 \xe2\x80\x93 caf\xc3\xa9");
    const LinesCase cases[] = {
        {"empty file", QByteArray(), {}},
        {"one line, no ending", "caption", {"caption"}},
        {"one line ended", "caption\r\n", {"caption"}},
        {"two lines", "caption\r\npattern", {"caption", "pattern"}},
        {"two lines, each ended", "caption\r\npattern\r\n", {"caption", "pattern"}},
        {"extra CR LF makes an empty third line",
         "caption\r\npattern\r\n\r\n",
         {"caption", "pattern", ""}},
        {"three lines", "a\r\nb\r\nc", {"a", "b", "c"}},
        {"lone LF", "a\nb\n", {"a", "b"}},
        {"lone CR", "a\rb\rc", {"a", "b", "c"}},
        {"LF CR is two endings", "a\n\rb", {"a", "", "b"}},
        {"only an ending", "\r\n", {""}},
        {"no trimming", "  a \t\r\n b ", {"  a \t", " b "}},
        {"UTF-8 BOM", "\xEF\xBB\xBF" + caption.toUtf8() + "\r\nx", {caption, "x"}},
        {"UTF-8 BOM only", "\xEF\xBB\xBF", {}},
        {"UTF-16 LE BOM", utf16(QStringEncoder::Utf16LE, caption + "\r\nx\r\n"), {caption, "x"}},
        {"UTF-16 BE BOM", utf16(QStringEncoder::Utf16BE, caption + "\nx\ry"), {caption, "x", "y"}},
    };
    for (const LinesCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(readConfigLines(c.bytes), c.lines);
    }
}

TEST(RemoteConfigLines, BomsReallySelectTheEncoding) {
    // Without a BOM the UTF-16 bytes are not text of this caption.
    const QString caption = QStringLiteral("Clipvane");
    QByteArray le = utf16(QStringEncoder::Utf16LE, caption);
    ASSERT_TRUE(le.startsWith("\xFF\xFE"));
    EXPECT_EQ(readConfigLines(le), QStringList{caption});
    EXPECT_NE(readConfigLines(le.mid(2)), QStringList{caption});
}

TEST(RemoteConfigOutcome, FollowsTheNumberOfLines) {
    const QString caption = QStringLiteral(CLIPVANE_CAPTION);
    const QString builtIn = QStringLiteral("built-in");
    struct Row {
        QStringList lines;
        QString regx;
        bool versionCheck;
        bool outdated;
        bool keepSponsor;
    };
    const QString longLine(100000, QLatin1Char('x'));
    const Row rows[] = {
        {{}, builtIn, false, false, false},
        {{longLine}, builtIn, false, false, false},
        {{caption, "p2"}, "p2", true, false, false},
        {{"Clipvane 3.0", "p2"}, "p2", true, true, false},
        {{caption, "p2", ""}, "p2", true, false, true},
        {{"Clipvane 3.0", "p2", "", "ignored"}, "p2", true, true, true},
        // Used without validation, as delivered.
        {{caption, "", "x"}, "", true, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.lines.join(QLatin1Char('|')).left(40).toStdString());
        const RemoteConfigOutcome out = evaluateRemoteConfig(row.lines, caption, builtIn);
        EXPECT_EQ(out.regx, row.regx);
        EXPECT_EQ(out.versionCheck, row.versionCheck);
        EXPECT_EQ(out.outdated, row.outdated);
        EXPECT_EQ(out.keepSponsor, row.keepSponsor);
    }
}

TEST(RemoteConfigOutcome, CaptionMustMatchExactly) {
    const QString caption = QStringLiteral(CLIPVANE_CAPTION);
    for (const QString& first : {caption.toLower(), caption + QLatin1Char(' '),
                                 QLatin1Char(' ') + caption, caption.left(caption.size() - 1)}) {
        SCOPED_TRACE(first.toStdString());
        EXPECT_TRUE(evaluateRemoteConfig({first, "p"}, caption, "b").outdated);
    }
    // The whole file as it arrives, ended by CR LF, still matches.
    const QStringList lines = readConfigLines(caption.toUtf8() + "\r\np\r\n");
    EXPECT_FALSE(evaluateRemoteConfig(lines, caption, "b").outdated);
}

TEST(RemoteConfigOutcome, QuestionText) {
    EXPECT_STREQ(kOutdatedVersionQuestion,
                 "The current version is outdated\r\nDo you want to Download the newest version "
                 "on our website right now?");
}

}  // namespace
