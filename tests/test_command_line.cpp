// The command line: options, a whole dig against a loopback site, failures, interruption, and
// the real executable for what only a process shows (exit status, no display needed).
#include "app/command_line.h"
#include "build_config.h"
#include "discovery/related_videos.h"
#include "support/fake_video_site.h"
#include "support/qt_printers.h"
#include "support/scripted_server.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <signal.h>
#include <unistd.h>
#include <thread>

namespace {

using Table = QList<QStringList>;

// RFC 4180: fields in double quotes may hold commas, quotes (doubled) and line breaks.
Table parseCsv(const QByteArray& bytes) {
    const QString text = QString::fromUtf8(bytes);
    Table rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            row << field;
            field.clear();
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            rows << (row << field);
            row.clear();
            field.clear();
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !row.isEmpty())
        rows << (row << field);
    return rows;
}

QStringList column(const Table& table, const QString& name) {
    const qsizetype at = table.value(0).indexOf(name);
    QStringList values;
    for (qsizetype i = 1; i < table.size() && at >= 0; ++i)
        values << table[i].value(at);
    return values;
}

struct Ran {
    int status = -1;
    QByteArray out;
    QString err;
};

class CommandLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The start page lists x twice; x is listed by no other page. Depth 3 explores the start
        // page again (it became a row through a1) along with every row of the first level.
        site.setRelated("start", {"a1", "x", "a2", "x"});
        site.setRelated("a1", {"start", "a2", "b1"});
        site.setRelated("x", {"s", "a1"});
        site.setRelated("a2", {"b2", "s"});
        site.setRelated("b1", {"c1", "a2"});
        site.setRelated("s", {"c2"});
        site.setDetails("a1", "Tom &amp; Jerry, &quot;live&quot;", "1:02:03", "1,234,567 views");
        ASSERT_TRUE(dir.isValid());
    }

    SiteConfig config() const {
        SiteConfig c;
        c.videoHost = site.host();
        c.shortLinkHost = QStringLiteral("youtu.be");
        c.vendorHost = site.host();
        return c;
    }
    QString watch(const QString& id) const { return config().watchUrlPrefix() + id; }
    QString path(const QString& name) const { return dir.filePath(name); }

    Ran run(const QStringList& arguments, const SiteConfig& site,
            const std::atomic<bool>* interrupt = nullptr) {
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        Ran result;
        result.status = runCommandLine(arguments, site, {&out, &err, false, interrupt});
        result.out = out.data();
        result.err = QString::fromUtf8(err.data());
        return result;
    }
    Ran run(const QStringList& arguments) { return run(arguments, config()); }

    FakeVideoSite site;
    QTemporaryDir dir;
};

TEST(CommandLineOptions, ParsesOrRefusesWithOneLine) {
    struct Case {
        QStringList arguments;
        const char* error;  // part of the message; nullptr: accepted
        CommandLineOptions expected = {};
    };
    const auto dig = [](std::initializer_list<QString> more) {
        return QStringList{QStringLiteral("--dig"), QStringLiteral("watch?v=abc")} + more;
    };
    const auto with = [](auto change) {
        CommandLineOptions o;
        o.address = QStringLiteral("watch?v=abc");
        change(o);
        return o;
    };
    const Case cases[] = {
        {dig({}), nullptr, with([](auto&) {})},
        {dig({"--depth", "5", "--connections=16", "--max-rows", "7", "--quiet"}), nullptr,
         with([](auto& o) {
             o.depth = 5;
             o.connections = 16;
             o.maxRows = 7;
             o.quiet = true;
         })},
        {dig({"--output", "graph.GEXF"}), nullptr, with([](auto& o) {
             o.output = "graph.GEXF";
             o.format = ExportFormat::Gexf;
         })},
        {dig({"--output", "rows.txt"}), nullptr, with([](auto& o) { o.output = "rows.txt"; })},
        {dig({"--format", "json", "--output", "rows.csv"}), nullptr, with([](auto& o) {
             o.format = ExportFormat::Json;
             o.output = "rows.csv";
         })},
        {dig({"--thumbnails", "pics"}), nullptr, with([](auto& o) { o.thumbnails = "pics"; })},
        {{"--version", "--bogus"}, nullptr, with([](auto& o) {
             o.action = CommandLineOptions::Action::Version;
             o.address.clear();
         })},
        {dig({"--help"}), nullptr,
         with([](auto& o) { o.action = CommandLineOptions::Action::Help; })},
        {{}, "--dig ADDRESS is missing"},
        {{"--depth", "2"}, "--dig ADDRESS is missing"},
        {dig({"--depth", "0"}), "--depth is a number from 1 to 5"},
        {dig({"--depth", "6"}), "--depth is a number from 1 to 5"},
        {dig({"--depth", "2x"}), "--depth is a number from 1 to 5"},
        {dig({"--depth", "+2"}), "--depth is a number from 1 to 5"},
        {dig({"--connections", "17"}), "--connections is a number from 1 to 16"},
        {dig({"--max-rows", "0"}), "--max-rows is a number from 1 up"},
        {dig({"--format", "xml"}), "--format is csv, json or gexf"},
        {dig({"--depth"}), "--depth needs a value"},
        {dig({"--output="}), "--output needs a value"},
        {dig({"--quiet=yes"}), "--quiet takes no value"},
        {dig({"--depth", "2", "--depth", "3"}), "--depth is given twice"},
        {dig({"--colour"}), "unknown option --colour"},
        {dig({"extra"}), "unexpected argument \"extra\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        const ParsedCommandLine parsed = parseCommandLine(c.arguments);
        if (c.error) {
            EXPECT_FALSE(parsed.options);
            EXPECT_TRUE(parsed.error.startsWith(QLatin1String("clipvane: ")))
                << parsed.error.toStdString();
            EXPECT_TRUE(parsed.error.contains(QLatin1String(c.error)))
                << parsed.error.toStdString();
            EXPECT_FALSE(parsed.error.contains(QLatin1Char('\n')));
            continue;
        }
        ASSERT_TRUE(parsed.options) << parsed.error.toStdString();
        const CommandLineOptions& o = *parsed.options;
        const CommandLineOptions& e = c.expected;
        EXPECT_EQ(o.action, e.action);
        EXPECT_EQ(o.address, e.address);
        EXPECT_EQ(o.depth, e.depth);
        EXPECT_EQ(o.format, e.format);
        EXPECT_EQ(o.output, e.output);
        EXPECT_EQ(o.connections, e.connections);
        EXPECT_EQ(o.thumbnails, e.thumbnails);
        EXPECT_EQ(o.maxRows, e.maxRows);
        EXPECT_EQ(o.quiet, e.quiet);
    }
    EXPECT_TRUE(wantsCommandLine({"--dig=watch?v=a"}));
    EXPECT_TRUE(wantsCommandLine({"--version"}));
    EXPECT_FALSE(wantsCommandLine({"-platform", "offscreen"}));
}

TEST_F(CommandLineTest, DepthThreeTableFieldByFieldAndTheSameForOneAndFourConnections) {
    const QString start = watch("start") + QStringLiteral("&feature=related");
    const Ran one = run({"--dig", start, "--depth", "3", "--connections", "1", "--thumbnails",
                         path("one"), "--output", path("one.csv"), "--quiet"});
    ASSERT_EQ(one.status, kExitDone) << one.err.toStdString();
    const QStringList requests = site.requests();
    site.clearRequests();
    const Ran four = run({"--dig", start, "--depth", "3", "--connections", "4", "--thumbnails",
                          path("four"), "--output", path("four.csv"), "--quiet"});
    ASSERT_EQ(four.status, kExitDone) << four.err.toStdString();
    EXPECT_TRUE(one.out.isEmpty());
    EXPECT_TRUE(one.err.isEmpty()) << one.err.toStdString();

    QFile file(path("one.csv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray csv = file.readAll();
    QFile other(path("four.csv"));
    ASSERT_TRUE(other.open(QIODevice::ReadOnly));
    EXPECT_EQ(other.readAll(), csv);

    const QString host = site.host();
    const auto row = [&](int position, const QString& id, int level, const QString& via,
                         int times) {
        const qint64 views = id.size() * 1000 + id.at(0).unicode();
        return QStringList{QString::number(position),
                           id,
                           "Title " + id,
                           "1:00",
                           "60",
                           QString::number(views) + " views",
                           QString::number(views),
                           QString::number(level),
                           via,
                           QString::number(times),
                           QStringLiteral("http://%1/vi/%2/default.jpg").arg(host, id)};
    };
    Table expected = {
        {"position", "id", "title", "length", "seconds", "views", "view_count", "level",
         "found_via", "times_listed", "thumbnail"},
        {"1", "a1", "Tom & Jerry, \"live\"", "1:02:03", "3723", "1,234,567 views", "1234567", "1",
         "start", "2", QStringLiteral("http://%1/vi/a1/default.jpg").arg(host)},
        row(2, "x", 1, "start", 1),
        row(3, "a2", 1, "start", 3),
        row(4, "x", 1, "start", 1),
        row(5, "s", 2, "x", 2),
        row(6, "b2", 2, "a2", 1),
        row(7, "start", 2, "a1", 1),
        row(8, "b1", 2, "a1", 1),
        row(9, "c1", 3, "b1", 1),
        row(10, "c2", 3, "s", 1),
    };
    const Table table = parseCsv(csv);
    ASSERT_EQ(table.size(), expected.size()) << csv.toStdString();
    for (qsizetype i = 0; i < table.size(); ++i)
        EXPECT_EQ(table[i], expected[i]) << "line " << i + 1;

    // One connection asks in the window's order: a page, then the thumbnails of its new videos.
    const QStringList window = {"/v.0",
                                "/watch?v=start",
                                "/vi/a1/default.jpg",
                                "/vi/x/default.jpg",
                                "/vi/a2/default.jpg",
                                "/vi/x/default.jpg",
                                "/watch?v=x",
                                "/vi/s/default.jpg",
                                "/watch?v=a2",
                                "/vi/b2/default.jpg",
                                "/watch?v=x",
                                "/watch?v=a1",
                                "/vi/start/default.jpg",
                                "/vi/b1/default.jpg",
                                "/watch?v=b1",
                                "/vi/c1/default.jpg",
                                "/watch?v=start",
                                "/watch?v=b2",
                                "/watch?v=s",
                                "/vi/c2/default.jpg",
                                "/watch?v=x",
                                "/watch?v=a2",
                                "/watch?v=x",
                                "/watch?v=a1"};
    EXPECT_EQ(requests, window);
    QStringList parallel = site.requests();
    QStringList sequential = window;
    parallel.sort();
    sequential.sort();
    EXPECT_EQ(parallel, sequential);

    // Every row's thumbnail, as downloaded.
    for (const QString& folder : {path("one"), path("four")}) {
        QStringList names = QDir(folder).entryList(QDir::Files);
        names.sort();
        EXPECT_EQ(names, QStringList({"a1.jpg", "a2.jpg", "b1.jpg", "b2.jpg", "c1.jpg", "c2.jpg",
                                      "s.jpg", "start.jpg", "x.jpg"}));
        QFile picture(QDir(folder).filePath("c2.jpg"));
        ASSERT_TRUE(picture.open(QIODevice::ReadOnly));
        EXPECT_TRUE(picture.readAll().startsWith("\xFF\xD8\xFF"));
    }
}

TEST_F(CommandLineTest, WithoutThumbnailsNoneIsFetchedAndTheTableGoesToStandardOutput) {
    site.fail("/vi/a2/default.jpg");
    const Ran r = run({"--dig", watch("start"), "--depth", "2", "--quiet"});
    ASSERT_EQ(r.status, kExitDone) << r.err.toStdString();
    EXPECT_TRUE(site.requests("/vi/").isEmpty());
    EXPECT_EQ(column(parseCsv(r.out), "id"),
              QStringList({"a1", "x", "a2", "x", "s", "b2", "start", "b1"}));
}

TEST_F(CommandLineTest, BadUsageOrNoAddressWritesNothingAndExitsTwo) {
    const QString output = path("out.csv");
    const QStringList cases[] = {
        {"--dig", "just some words", "--output", output},
        {"--dig", "http://example.com/watch?feature=player&v=start", "--output", output},
        {"--dig", watch("start"), "--depth", "9", "--output", output},
        {"--dig", watch("start"), "--output", output, "--frobnicate"},
    };
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        const Ran r = run(arguments);
        EXPECT_EQ(r.status, kExitUsage);
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(r.err.count(QLatin1Char('\n')), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.endsWith(QLatin1Char('\n')));
        EXPECT_FALSE(QFile::exists(output));
    }
    EXPECT_TRUE(site.requests().isEmpty());
}

TEST_F(CommandLineTest, FailedPagesAreSkippedAndCountedButAFailedStartOrOutputWritesNothing) {
    site.fail("/watch?v=a2");
    site.fail("/vi/b1/default.jpg");
    // An identifier is whatever the page gives; its thumbnail still lands inside the folder.
    site.setRelated("a1", {"start", "a2", "b1", "../up"});
    const Ran r = run({"--dig", watch("start"), "--depth", "2", "--connections", "4",
                       "--thumbnails", path("pics/in"), "--quiet"});
    ASSERT_EQ(r.status, kExitDone) << r.err.toStdString();
    // a2's page adds nothing; b1 is left out for its thumbnail; the dig goes on past both.
    EXPECT_EQ(column(parseCsv(r.out), "id"),
              QStringList({"a1", "x", "a2", "x", "s", "start", "../up"}));
    EXPECT_TRUE(QFile::exists(path("pics/in/..%2Fup.jpg")));
    EXPECT_FALSE(QFile::exists(path("pics/up.jpg")));
    EXPECT_TRUE(r.err.contains(watch("a2"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("1 page could not be fetched")))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("1 thumbnail could not be fetched")))
        << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(path("pics/in/b1.jpg")));

    // An output that cannot be written is known before anything is fetched.
    site.clearRequests();
    const Ran nowhere = run({"--dig", watch("start"), "--output", path("missing/out.csv")});
    EXPECT_EQ(nowhere.status, kExitFailed);
    EXPECT_EQ(nowhere.err.count(QLatin1Char('\n')), 1) << nowhere.err.toStdString();
    EXPECT_TRUE(site.requests().isEmpty());

    site.fail("/watch?v=start");
    const Ran start = run({"--dig", watch("start"), "--output", path("start.csv")});
    EXPECT_EQ(start.status, kExitFailed);
    EXPECT_TRUE(start.err.contains(watch("start"))) << start.err.toStdString();
    EXPECT_FALSE(QFile::exists(path("start.csv")));
}

TEST_F(CommandLineTest, RowLimitEndsTheDigAndSaysSo) {
    const Ran r = run({"--dig", watch("start"), "--depth", "3", "--max-rows", "5", "--quiet"});
    ASSERT_EQ(r.status, kExitDone) << r.err.toStdString();
    EXPECT_EQ(column(parseCsv(r.out), "id"), QStringList({"a1", "x", "a2", "x", "s"}));
    EXPECT_TRUE(r.err.contains(QLatin1String("stopped at 5 rows"))) << r.err.toStdString();
}

TEST_F(CommandLineTest, RemoteConfigurationPatternIsUsedAndAnOutdatedReleaseIsOneLine) {
    // A replacement pattern that takes only identifiers beginning with "a".
    QString pattern = builtInRelatedPattern();
    pattern.replace(QLatin1String("v=([^\"]*)\""), QLatin1String("v=(a[^\"]*)\""));
    site.setPage("/v.0", "Clipvane 9.0\r\n" + pattern.toUtf8() + "\r\n");
    const Ran r = run({"--dig", watch("start"), "--depth", "1", "--quiet"});
    ASSERT_EQ(r.status, kExitDone) << r.err.toStdString();
    EXPECT_EQ(column(parseCsv(r.out), "id"), QStringList({"a1", "a2"}));
    EXPECT_EQ(r.err.count(QLatin1Char('\n')), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String("outdated"))) << r.err.toStdString();
}

TEST_F(CommandLineTest, InterruptSignalWritesTheRowsFoundSoFar) {
    // The same graph from a server that holds a2's page back until the dig has been interrupted.
    std::atomic<bool> held{false};
    std::atomic<bool> release{false};
    ScriptedServer stalling;  // after the flags: its threads read them until it stops
    stalling.setHandler([&](const ScriptedServer::Request& request) {
        const std::string target = request.target();
        if (target.rfind("/watch?v=", 0) != 0)
            return ScriptedServer::status(404, "Content-Length: 0\r\n");
        if (target == "/watch?v=a2") {
            held = true;
            for (int i = 0; i < 1000 && !release; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const QString id = QString::fromStdString(target.substr(9));
        return ScriptedServer::ok(site.watchPageFor(id).toStdString());
    });
    SiteConfig config = this->config();
    config.videoHost = config.vendorHost = QStringLiteral("127.0.0.1:%1").arg(stalling.port());

    struct Case {
        const char* format;
        const char* connections;
    };
    for (const Case c : {Case{"csv", "1"}, Case{"json", "1"}, Case{"json", "4"}}) {
        SCOPED_TRACE(std::string(c.format) + " " + c.connections);
        held = false;
        release = false;
        const QString output =
            path(QStringLiteral("partial%1.%2").arg(c.connections, QLatin1String(c.format)));
        const InterruptSignals interrupts;
        std::thread signaller([&] {
            for (int i = 0; i < 1000 && !held; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ::kill(::getpid(), SIGINT);
        });
        const Ran r = run({"--dig", config.watchUrlPrefix() + "start", "--depth", "2",
                           "--connections", c.connections, "--output", output, "--quiet"},
                          config, &interrupts.flag());
        release = true;
        signaller.join();

        EXPECT_EQ(r.status, kExitInterrupted) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String("interrupted"))) << r.err.toStdString();
        QFile file(output);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        // x's page (explored first) is in; a2's never came. With four connections a2's page is
        // asked for at once, so the signal may come before x's page has been gone through.
        const QStringList found = {"a1", "x", "a2", "x", "s"};
        const QStringList early = found.first(4);
        if (QLatin1String(c.format) == QLatin1String("csv")) {
            EXPECT_EQ(column(parseCsv(bytes), "id"), found);
            continue;
        }
        const QJsonObject json = QJsonDocument::fromJson(bytes).object();
        EXPECT_EQ(json.value("interrupted"), QJsonValue(true));
        QStringList ids;
        for (const QJsonValue& row : json.value("rows").toArray())
            ids << row.toObject().value("id").toString();
        if (QLatin1String(c.connections) == QLatin1String("1"))
            EXPECT_EQ(ids, found);
        else
            EXPECT_TRUE(ids == found || ids == early) << ids.join(QLatin1Char(' ')).toStdString();
    }
}

// The real executable, with no display at all.
Ran runExecutable(const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(CLIPVANE_EXECUTABLE), arguments);
    Ran result;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.status = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

TEST(CommandLineExecutable, HelpVersionAndBadUsageWithoutADisplay) {
    const Ran version = runExecutable({"--version"});
    EXPECT_EQ(version.status, kExitDone);
    EXPECT_EQ(version.out, "clipvane " CLIPVANE_VERSION "\n");

    const Ran help = runExecutable({"--help"});
    EXPECT_EQ(help.status, kExitDone);
    EXPECT_TRUE(help.out.startsWith("Usage: clipvane --dig ADDRESS")) << help.out.toStdString();
    EXPECT_TRUE(help.err.isEmpty());

    const Ran bad = runExecutable({"--dig", "no address here"});
    EXPECT_EQ(bad.status, kExitUsage);
    EXPECT_TRUE(bad.out.isEmpty());
    EXPECT_EQ(bad.err, "clipvane: no video address in \"no address here\"\n");
}

}  // namespace
