// The dig as data: the table of a real dig over in-memory pages, its three file formats, the
// decoding of titles and the atomic write.
#include "discovery/dig_engine.h"
#include "discovery/perl_regex.h"
#include "discovery/related_videos.h"
#include "results/dig_export.h"
#include "support/qt_printers.h"
#include "support/watch_page.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <map>

namespace {

const QString kPrefix = QStringLiteral("http://video.test/watch?v=");

struct Video {
    QByteArray title, length, views;
};

// Pages straight from a table; every thumbnail downloads.
class MapFetcher : public DigFetcher, public DigListener {
  public:
    QHash<QString, QByteArray> pages;

    Outcome fetchPage(const QString& url, QByteArray& body) override {
        if (!pages.contains(url))
            return Outcome::Failed;
        body = pages.value(url);
        return Outcome::Ok;
    }
    Outcome fetchThumbnail(const QString&, QByteArray& body) override {
        body = "jpeg";
        return Outcome::Ok;
    }
    void rowAdded(const DigRow&, qsizetype, const QByteArray&) override {}
};

// S lists a, b and a again; a lists c, b and S; b lists c and a.
class DigExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        videos = {
            {"S", {"The start &lt;3", "59", "12 views"}},
            {"a", {"Rock &amp; Roll, &quot;live&quot;", "1:02:03", "1,234,567 views"}},
            {"b", {"Caf\xC3\xA9 &#x65E5;&#26412;", "4:05", "9,007,199,254,740,993 views"}},
            {"c", {"Line one\nline\ttwo&#1;", "live", "No views"}},
        };
        page("S", {"a", "b", "a"});
        page("a", {"c", "b", "S"});
        page("b", {"c", "a"});
    }
    void page(const QString& id, const QList<QByteArray>& related) {
        QList<QByteArray> items;
        for (const QByteArray& rel : related) {
            const Video& v = videos.at(rel);
            items << relatedItemMarkup(rel, "//img.example/vi/" + rel + "/default.jpg", v.length,
                                       v.title, v.views);
        }
        fetcher.pages.insert(kPrefix + id, watchPage(items));
    }
    DigTable dig(int depth, bool interrupted = false) {
        TPerlRegEx matcher;
        bool stop = false;
        DigEngine engine(matcher, fetcher, fetcher, stop);
        engine.run(QStringLiteral("S"), depth, builtInRelatedPattern(), kPrefix);
        return digTable(engine, depth, interrupted);
    }

    std::map<QByteArray, Video> videos;
    MapFetcher fetcher;
};

const QByteArray kDepthTwoCsv =
    "position,id,title,length,seconds,views,view_count,level,found_via,times_listed,thumbnail\r\n"
    "1,a,\"Rock & Roll, \"\"live\"\"\",1:02:03,3723,\"1,234,567 views\",1234567,1,S,2,"
    "http://img.example/vi/a/default.jpg\r\n"
    "2,b,Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC,4:05,245,\"9,007,199,254,740,993 views\","
    "9007199254740993,1,S,2,http://img.example/vi/b/default.jpg\r\n"
    "3,a,\"Rock & Roll, \"\"live\"\"\",1:02:03,3723,\"1,234,567 views\",1234567,1,S,2,"
    "http://img.example/vi/a/default.jpg\r\n"
    "4,c,\"Line one\nline\ttwo\x01\",live,,No views,,2,a,2,http://img.example/vi/c/default.jpg\r\n"
    "5,S,The start <3,59,59,12 views,12,2,a,1,http://img.example/vi/S/default.jpg\r\n";

QStringList crlfLines(const QByteArray& bytes) {
    return QString::fromUtf8(bytes).split(QStringLiteral("\r\n"));
}

TEST_F(DigExportTest, CsvHoldsEveryRowInDigOrderWithDecodedTitlesAndQuoting) {
    EXPECT_EQ(crlfLines(exportDig(dig(2), ExportFormat::Csv)), crlfLines(kDepthTwoCsv));
}

TEST_F(DigExportTest, JsonHoldsTheSameFieldsWithNumbersNullsAndTheEdges) {
    const QByteArray bytes = exportDig(dig(2), ExportFormat::Json);
    // Beyond 2^53: written as the exact integer, not through a double.
    EXPECT_TRUE(bytes.contains("\"view_count\": 9007199254740993"));
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(bytes, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_EQ(root.keys(), QStringList({"depth", "edges", "interrupted", "rows", "start"}));
    EXPECT_EQ(root["start"].toString(), "S");
    EXPECT_EQ(root["depth"].toInt(), 2);
    EXPECT_EQ(root["interrupted"], QJsonValue(false));

    const QJsonArray rows = root["rows"].toArray();
    ASSERT_EQ(rows.size(), 5);
    const QJsonObject a = rows[0].toObject();
    EXPECT_EQ(a.keys().size(), 11);
    EXPECT_EQ(a["position"], QJsonValue(1));
    EXPECT_EQ(a["id"], QJsonValue("a"));
    EXPECT_EQ(a["title"], QJsonValue("Rock & Roll, \"live\""));
    EXPECT_EQ(a["length"], QJsonValue("1:02:03"));
    EXPECT_EQ(a["seconds"], QJsonValue(3723));
    EXPECT_EQ(a["views"], QJsonValue("1,234,567 views"));
    EXPECT_EQ(a["view_count"], QJsonValue(1234567));
    EXPECT_EQ(a["level"], QJsonValue(1));
    EXPECT_EQ(a["found_via"], QJsonValue("S"));
    EXPECT_EQ(a["times_listed"], QJsonValue(2));
    EXPECT_EQ(a["thumbnail"], QJsonValue("http://img.example/vi/a/default.jpg"));
    const QJsonObject c = rows[3].toObject();
    EXPECT_EQ(c["title"], QJsonValue("Line one\nline\ttwo\x01"));
    EXPECT_TRUE(c["seconds"].isNull());
    EXPECT_TRUE(c["view_count"].isNull());
    EXPECT_EQ(c["level"], QJsonValue(2));
    EXPECT_EQ(c["found_via"], QJsonValue("a"));

    QStringList edges;
    for (const QJsonValue& edge : root["edges"].toArray())
        edges << edge["source"].toString() + ">" + edge["target"].toString();
    EXPECT_EQ(edges, QStringList({"S>a", "S>b", "a>c", "a>b", "a>S", "b>c", "b>a"}));
}

TEST_F(DigExportTest, JsonOfAnEmptyInterruptedDigIsStillAWholeDocument) {
    fetcher.pages.clear();
    const QByteArray bytes = exportDig(dig(3, true), ExportFormat::Json);
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(bytes, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    EXPECT_EQ(root["interrupted"], QJsonValue(true));
    EXPECT_TRUE(root["rows"].toArray().isEmpty());
    EXPECT_TRUE(root["edges"].toArray().isEmpty());
}

// Debian's own interpreter first: it is the one python3-networkx belongs to.
QString python() {
    const QString system = QStandardPaths::findExecutable(QStringLiteral("python3"), {"/usr/bin"});
    return system.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("python3")) : system;
}

const char* const kReadGexf = R"py(
import json, sys
import networkx as nx
g = nx.read_gexf(sys.argv[1])
nodes = {n: d for n, d in g.nodes(data=True)}
print(json.dumps({"directed": g.is_directed(), "nodes": nodes,
                  "edges": sorted(u + ">" + v + ":" + str(d.get("weight")) for u, v, d in g.edges(data=True))}))
)py";

TEST_F(DigExportTest, GexfIsReadByNetworkxWithNodesEdgesAndAttributes) {
    const QString interpreter = python();
    if (interpreter.isEmpty())
        GTEST_SKIP() << "python3 is not installed";
    struct Case {
        int depth;
        int nodes;
        QStringList edges;
        QString startLabel;
    };
    const Case cases[] = {
        {1, 3, {"S>a:1.0", "S>b:1.0"}, "S"},
        {2,
         4,
         {"S>a:1.0", "S>b:1.0", "a>S:1.0", "a>b:1.0", "a>c:1.0", "b>a:1.0", "b>c:1.0"},
         "The start <3"},
    };
    QTemporaryDir dir;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.depth);
        const QString path = dir.filePath(QStringLiteral("dig%1.gexf").arg(k.depth));
        ASSERT_TRUE(
            writeFileAtomically(path, exportDig(dig(k.depth), ExportFormat::Gexf), nullptr));
        QProcess reader;
        reader.start(interpreter, {"-c", QString::fromUtf8(kReadGexf), path});
        ASSERT_TRUE(reader.waitForFinished(60000));
        ASSERT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
        const QJsonObject graph = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
        EXPECT_TRUE(graph["directed"].toBool());
        const QJsonObject nodes = graph["nodes"].toObject();
        EXPECT_EQ(nodes.size(), k.nodes);
        QStringList edges;
        for (const QJsonValue& e : graph["edges"].toArray())
            edges << e.toString();
        EXPECT_EQ(edges, k.edges);
        EXPECT_EQ(nodes["S"]["label"].toString(), k.startLabel);
        if (nodes.contains("c")) {
            // Line breaks survive the attribute; a control character XML cannot hold does not.
            EXPECT_EQ(nodes["c"]["label"].toString(), "Line one\nline\ttwo\uFFFD");
        }

        const QJsonObject b = nodes["b"].toObject();
        EXPECT_EQ(b["label"].toString(), QString::fromUtf8("Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC"));
        EXPECT_EQ(b["position"], QJsonValue(2));
        EXPECT_EQ(b["view_count"].toInteger(), 9007199254740993);
        EXPECT_EQ(b["seconds"], QJsonValue(245));
        EXPECT_EQ(b["level"], QJsonValue(1));
        EXPECT_EQ(b["found_via"], QJsonValue("S"));
        EXPECT_EQ(b["thumbnail"], QJsonValue("http://img.example/vi/b/default.jpg"));
    }
}

TEST(DigExportCsv, QuotesOnlyFieldsThatNeedIt) {
    const struct {
        QString title;
        QByteArray field;
    } cases[] = {
        {"plain words", "plain words"},
        {"one, two", "\"one, two\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"carriage\rreturn", "\"carriage\rreturn\""},
        {QString::fromUtf8("\xC3\x9C"
                           "ber \xF0\x9F\x8E\xB5"),
         "\xC3\x9C"
         "ber \xF0\x9F\x8E\xB5"},
        {"", ""},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.title.toStdString());
        DigTable table;
        table.start = "s";
        DigRow row;
        row.video = {"v", "//t/v.jpg", "1:00", k.title, "1 view"};
        row.foundVia = "s";
        row.timesListed = 1;
        table.rows.push_back(row);
        const QByteArray csv = exportDig(table, ExportFormat::Csv);
        const QByteArray line = csv.mid(csv.indexOf("\r\n") + 2);
        EXPECT_EQ(line, "1,v," + k.field + ",1:00,60,1 view,1,1,s,1,http://t/v.jpg\r\n");
    }
}

TEST(DecodeCharacterReferences, NamedDecimalAndHexReferencesAndInvalidOnesStay) {
    const struct {
        const char* text;
        const char* decoded;
    } cases[] = {
        {"a &amp; b", "a & b"},
        {"&lt;&gt;&quot;&apos;", "<>\"'"},
        {"x&nbsp;y", "x\xC2\xA0y"},
        {"&copy; &eacute; &mdash; &hellip; &euro;",
         "\xC2\xA9 \xC3\xA9 \xE2\x80\x94 \xE2\x80\xA6 \xE2\x82\xAC"},
        {"&#39;&#039;&#x27;&#X27;", "''''"},
        {"&#x1F3B5;", "\xF0\x9F\x8E\xB5"},
        {"&#150;", "\xE2\x80\x93"},
        {"&amp;amp;", "&amp;"},
        {"&amp", "&amp"},
        {"&unknown; &AMP; & ;", "&unknown; &AMP; & ;"},
        {"&#; &#x; &#xZ; &#12a;", "&#; &#x; &#xZ; &#12a;"},
        {"&#0; &#xD800; &#x110000; &#99999999999;", "&#0; &#xD800; &#x110000; &#99999999999;"},
        {"&&lt;", "&<"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.text);
        EXPECT_EQ(decodeCharacterReferences(QString::fromUtf8(k.text)),
                  QString::fromUtf8(k.decoded));
    }
}

TEST(ExportFormat, FromItsNameAndFromTheFileExtension) {
    EXPECT_EQ(exportFormatNamed("csv"), ExportFormat::Csv);
    EXPECT_EQ(exportFormatNamed("JSON"), ExportFormat::Json);
    EXPECT_EQ(exportFormatNamed("Gexf"), ExportFormat::Gexf);
    EXPECT_EQ(exportFormatNamed("gdf"), std::nullopt);
    EXPECT_EQ(exportFormatNamed(""), std::nullopt);
    EXPECT_EQ(exportFormatForPath("/tmp/x.GEXF"), ExportFormat::Gexf);
    EXPECT_EQ(exportFormatForPath("out.json"), ExportFormat::Json);
    EXPECT_EQ(exportFormatForPath("out.csv"), ExportFormat::Csv);
    EXPECT_EQ(exportFormatForPath("out.txt"), ExportFormat::Csv);
    EXPECT_EQ(exportFormatForPath("json"), ExportFormat::Csv);
}

TEST(WriteFileAtomically, ReplacesTheFileAndLeavesNothingElse) {
    QTemporaryDir dir;
    const QString path = dir.filePath("list.csv");
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an older and longer content");
    old.close();
    QString error;
    ASSERT_TRUE(writeFileAtomically(path, "new", &error)) << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "new");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"list.csv"}));
}

TEST(WriteFileAtomically, FailsWithAReasonAndWritesNothing) {
    QTemporaryDir dir;
    for (const QString& path : {dir.filePath("missing/list.csv"), dir.path()}) {
        SCOPED_TRACE(path.toStdString());
        QString error;
        EXPECT_FALSE(writeFileAtomically(path, "data", &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
}

}  // namespace
