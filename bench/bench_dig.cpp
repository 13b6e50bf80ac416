// A headless dig against the demo site, measured from the outside: rows, fetches, wall time,
// processor time, memory, the longest time the event loop went unserviced, and the same GET
// sequence replayed by a bare keep-alive socket client and dug by a short script for
// comparison. See bench/README.md.
#include "app/site_config.h"
#include "app/tform1.h"
#include "results/result_list_view.h"
#include "support/bare_client.h"
#include "support/bench_window.h"
#include "support/dig_options.h"
#include "support/dig_run.h"
#include "support/peer.h"
#include "support/proc_readers.h"
#include "support/report.h"
#include "support/site.h"
#include "support/steps.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <optional>

using namespace bench;

namespace {

constexpr double kGoalBareRatio = 2.5;  // on loopback
constexpr double kGoalPeerRatio = 1.0;
constexpr double kGoalBytesPerRow = 30 * 1024;
constexpr double kGoalStallMs = 50;
constexpr double kGoalCpuPerRowMs = 0.5;  // when every response is held
constexpr double kGoalFlatGrowth = 1.25;  // later rows against the first ones
// Above this per fetch, beyond the delay the site was asked for, the server is holding its
// answers back.
constexpr double kSlowFetchMs = 20;

struct Site {
    SiteHosts hosts;
    QString mode;
};

std::optional<Site> startSite(const DigOptions& options, BenchSite& site) {
    if (!options.siteHost.isEmpty())
        return Site{{options.siteHost, options.vendorHost.isEmpty() ? nextPort(options.siteHost)
                                                                    : options.vendorHost},
                    QStringLiteral("running site given by --site-host")};
    const SiteSettings settings{options.siteExecutable, options.dataFile, options.delayMs,
                                options.allNew};
    QString error;
    const std::optional<SiteHosts> hosts = options.inProcess ? site.startInProcess(settings, &error)
                                                             : site.startChild(settings, &error);
    if (!hosts) {
        std::fprintf(stderr, "bench_dig: %s\n", error.toUtf8().constData());
        return std::nullopt;
    }
    return Site{*hosts, options.inProcess
                            ? QStringLiteral("in this process (its memory counts in the figures)")
                            : QStringLiteral("child process")};
}

struct Replays {
    std::vector<double> times;
    double medianMs = 0;
    ReplayResult first;  // with its bodies
    bool slowServer = false;
};

std::optional<Replays> replayBareClient(const QStringList& urls, const DigOptions& options) {
    Replays r;
    for (int i = 0; i < options.replayCount() && !r.slowServer; ++i) {
        ReplayResult run = replayBare(urls, i == 0);
        if (!run.error.isEmpty()) {
            std::fprintf(stderr, "bench_dig: bare replay failed: %s\n",
                         run.error.toUtf8().constData());
            return std::nullopt;
        }
        r.times.push_back(run.ms);
        // Much more per fetch than the site was asked to wait is the server's doing; the finer
        // figures would only measure its delay again, at great length.
        r.slowServer = run.ms / double(urls.size()) > options.delayMs + kSlowFetchMs;
        if (i == 0)
            r.first = std::move(run);
    }
    r.medianMs = median(r.times);
    return r;
}

std::optional<PeerResult> runPeerScript(const DigOptions& options, const QString& videoHost) {
    if (options.peer == DigOptions::Peer::Never)
        return std::nullopt;
    const QString python = findPython();
    const QString script = options.peerScript.isEmpty() ? builtInPeerScript() : options.peerScript;
    if (python.isEmpty() || script.isEmpty()) {
        if (options.peer == DigOptions::Peer::Always)
            return PeerResult{
                QStringLiteral("no python3 on the PATH, or no script"), 0, 0, 0, 0, {}};
        return std::nullopt;
    }
    return runPeer(python, script, videoHost, options.start, options.depth, options.scratchParent);
}

// What the dig's figures are measured against.
struct Comparisons {
    Replays bare;
    std::optional<PeerResult> peer;
    std::optional<DigFigures> unshown;  // the same dig with the window hidden
    ReplayResult client;                // the program's own client, without the window
    std::optional<Breakdown> steps;
    std::vector<ProfilingApplication::Share> paints;
};

void reportSetup(const DigOptions& options, const Site& site, const QString& folder,
                 const QString& load) {
    std::printf("bench_dig: depth-%d dig from %s\n", options.depth,
                options.start.toUtf8().constData());
    QString siteText = site.mode + QStringLiteral(", video ") + site.hosts.video;
    if (options.delayMs > 0)
        siteText += QStringLiteral(", every response held %1 ms").arg(options.delayMs);
    if (options.allNew)
        siteText += QStringLiteral(", every related video new");
    row("demo site", siteText);
    row("scratch folder", folder + (onTmpfs(folder) ? QStringLiteral(" (tmpfs: in memory)")
                                                    : QStringLiteral(" (disk)")));
    row("load average before the run", load);
    row("window", options.hidden ? QStringLiteral("not shown") : QStringLiteral("shown"));
    std::printf("\n");
}

void reportRows(const DigFigures& f, const Replays& bare) {
    row("rows", QString::number(f.rows));
    row("rows from the start page",
        QString::number(f.rowsAfterStartPage < 0 ? f.rows : f.rowsAfterStartPage));
    row("watch-page fetches", QString::number(f.watchFetches));
    row("thumbnail fetches", QString::number(f.thumbFetches));
    row("bytes fetched", kib(double(bare.first.bytes)));
    row("wall time", ms(f.wallMs));
    row("time per row", ms(f.wallMs / f.rows));
    std::printf("\n");
}

void reportProcessor(const DigFigures& f) {
    row("processor time of the window's thread", ms(f.cpuMs));
    row("  per row", ms(f.cpuMs / f.rows));
    if (const std::optional<double> early = f.cpuPerRowEarly())
        row("  per row, rows 1 to 2,000", ms(*early));
    if (const std::optional<double> late = f.cpuPerRowLate())
        row("  per row, rows 2,000 to 10,000",
            ms(*late) + QStringLiteral(" (rows %1 to %2; %3 of the first rows' cost)")
                            .arg(f.cpuAtFlatFrom->rows)
                            .arg(f.cpuAtLastRow.rows)
                            .arg(ratio(*late / *f.cpuPerRowEarly())));
    std::printf("\n");
}

void reportMemory(const DigFigures& f) {
    const double peakGrowthBytes = double(f.peakKiB - f.rssBeforeKiB) * 1024;
    row("peak RSS growth",
        kib(peakGrowthBytes) + (f.peakWasReset ? QString() : QStringLiteral(" (peak not reset)")));
    row("peak memory per row", kib(peakGrowthBytes / f.rows));
    if (const std::optional<MemorySample> from = f.marginalFrom())
        row("  per row after the first rows",
            kib(double(f.peakKiB - from->rssKiB) * 1024 / (f.rows - from->rows)) +
                QStringLiteral(" (rows %1 to %2)").arg(from->rows).arg(f.rows));
    row("RSS growth kept after the dig", kib(double(f.rssAfterKiB - f.rssBeforeKiB) * 1024));
    row("thumbnail store per row (ImageList1)", kib(double(f.imageBytes) / f.rows));
    std::printf("\n");
}

void reportStalls(const DigFigures& f) {
    const auto [watch, thumbs] = f.fetchesInLongestGap();
    row("event-loop turns seen", QString::number(f.gapsMs.size()));
    row("longest stall",
        ms(f.longestGapMs) + QStringLiteral(" (%1 on the processor; %2 watch pages, %3 thumbnails "
                                            "fetched in it)")
                                 .arg(ms(f.longestGapCpuMs))
                                 .arg(watch)
                                 .arg(thumbs));
    row("99th percentile gap", ms(percentile(f.gapsMs, 0.99)));
    row("gaps above 50 ms", QString::number(f.gapsAbove(kGoalStallMs)));
    std::printf("\n");
}

void reportBareReplay(const DigFigures& f, const Replays& bare) {
    QStringList runs;
    for (double t : bare.times)
        runs << ms(t);
    row("bare keep-alive replay (median)",
        ms(bare.medianMs) + QStringLiteral("  [%1; %2 connection(s)]")
                                .arg(runs.join(QStringLiteral(", ")))
                                .arg(bare.first.connections));
    const double perFetch = bare.medianMs / std::max<qsizetype>(1, f.urls.size());
    row("  per fetch", ms(perFetch));
    row("dig / bare replay", ratio(f.wallMs / bare.medianMs));
    if (bare.slowServer)
        std::printf(
            "  note: every fetch takes %.0f ms even for the bare client, well over the delay\n"
            "  asked for: the server holds each response back (Nagle against delayed ACK:\n"
            "  its sockets need TCP_NODELAY). The figures show the server's delay.\n",
            perFetch);
    std::printf("\n");
}

void reportPeer(const DigFigures& f, const std::optional<PeerResult>& peer) {
    if (!peer) {
        row("peer script", QStringLiteral("not run (no python3, or --no-peer)"));
        std::printf("\n");
        return;
    }
    if (!peer->error.isEmpty()) {
        row("peer script", QStringLiteral("failed: ") + peer->error);
        std::printf("\n");
        return;
    }
    row("peer script: rows", QString::number(peer->rows));
    row("  fetches", QString::number(peer->fetches));
    row("  wall time", ms(peer->wallMs));
    row("  processor time", ms(peer->cpuMs));
    QString same = QStringLiteral("yes");
    if (peer->urls != f.urls) {
        qsizetype at = 0;
        while (at < std::min(peer->urls.size(), f.urls.size()) && peer->urls[at] == f.urls[at])
            ++at;
        same = QStringLiteral("no: fetch %1 differs").arg(at + 1);
    }
    row("  same fetches in the same order", same);
    row("dig / script", ratio(f.wallMs / peer->wallMs));
    std::printf("\n");
}

// Each step alone over the same bodies, and painting as the difference between a shown and an
// unshown window; what is left is the list model, the label and the event processing.
void reportBreakdown(const DigFigures& f, const Comparisons& c) {
    if (c.steps) {
        const double paintMs = c.unshown ? f.wallMs - c.unshown->wallMs : 0;
        const double restMs = f.wallMs - c.client.ms - c.steps->scanMs - c.steps->thumbMs - paintMs;
        auto share = [&](const char* name, double value) {
            row(name, QStringLiteral("%1  %2 ms per row")
                          .arg(ms(value), 10)
                          .arg(value / f.rows, 0, 'f', 3));
        };
        std::printf("  where the dig's time goes:\n");
        share("  fetches: program's client + scratch files", c.client.ms);
        share("    of which scratch file write + read back", c.steps->scratchMs);
        share("  related-video scan of the watch pages", c.steps->scanMs);
        share("  thumbnail into the image list", c.steps->thumbMs);
        if (c.unshown)
            share("  painting (shown minus unshown window)", paintMs);
        share("  rest: list, label, event processing", restMs);
        if (!c.client.error.isEmpty())
            std::printf("  (the client replay failed: %s)\n", c.client.error.toUtf8().constData());
        if (c.unshown && c.unshown->urls != f.urls)
            std::printf("  (the unshown dig fetched another sequence: painting share is rough)\n");
    } else {
        std::printf(
            "  where the dig's time goes: not measured, since every fetch waits for the\n"
            "  site (run without --delay-ms for it)\n");
    }
    if (!c.paints.empty()) {
        std::printf("  painting during the dig, by widget (own time, children excluded):\n");
        for (std::size_t i = 0; i < std::min<std::size_t>(c.paints.size(), 5); ++i) {
            const QString name = QStringLiteral("    ") + c.paints[i].widget;
            std::printf("  %-44s %s in %d paints\n", name.toUtf8().constData(),
                        ms(c.paints[i].ms).toUtf8().constData(), c.paints[i].paints);
        }
    }
    std::printf("\n");
}

QStringList missedGoals(const DigOptions& options, const DigFigures& f, const Comparisons& c) {
    QStringList missed;
    const double bareRatio = f.wallMs / c.bare.medianMs;
    if (c.bare.slowServer)
        missed << QStringLiteral("ratio not measurable: the server delays every fetch");
    else if (options.delayMs == 0 && bareRatio > kGoalBareRatio)
        missed << QStringLiteral("dig / bare replay %1 > %2")
                      .arg(ratio(bareRatio))
                      .arg(kGoalBareRatio);
    if (c.peer && !c.peer->error.isEmpty()) {
        missed << QStringLiteral("peer script failed");
    } else if (c.peer && c.peer->rows != f.rows) {
        missed << QStringLiteral("the script listed %1 rows, the dig %2")
                      .arg(c.peer->rows)
                      .arg(f.rows);
    } else if (c.peer && f.wallMs / c.peer->wallMs > kGoalPeerRatio) {
        missed << QStringLiteral("dig / script %1 > %2")
                      .arg(ratio(f.wallMs / c.peer->wallMs))
                      .arg(kGoalPeerRatio, 0, 'f', 2);
    }
    const double bytesPerRow = double(f.peakKiB - f.rssBeforeKiB) * 1024 / f.rows;
    if (bytesPerRow > kGoalBytesPerRow)
        missed << QStringLiteral("%1 per row > 30 KB").arg(kib(bytesPerRow));
    if (f.longestGapMs > kGoalStallMs)
        missed << QStringLiteral("stall %1 > 50 ms").arg(ms(f.longestGapMs));
    if (options.delayMs > 0 && f.cpuMs / f.rows > kGoalCpuPerRowMs)
        missed << QStringLiteral("processor time %1 per row > %2")
                      .arg(ms(f.cpuMs / f.rows), ms(kGoalCpuPerRowMs));
    const std::optional<double> early = f.cpuPerRowEarly(), late = f.cpuPerRowLate();
    if (early && late && *late > kGoalFlatGrowth * *early)
        missed << QStringLiteral("later rows cost %1 times the first ones > %2")
                      .arg(ratio(*late / *early))
                      .arg(kGoalFlatGrowth);
    return missed;
}

// Says what went wrong, with the messages the window showed; the exit status.
int reportFailure(const char* what, const BenchPlatform& platform, int rows) {
    std::fprintf(stderr, "bench_dig: %s (%d rows)\n", what, rows);
    for (const QString& text : platform.messages + platform.errors)
        std::fprintf(stderr, "  %s\n", text.toUtf8().constData());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ProfilingApplication app(argc, argv);
    DigOptions options;
    if (!parseDigOptions(QCoreApplication::arguments(), options)) {
        printUsage();
        return 2;
    }
    // Other work on the machine shows up as stalls and wall time; say how busy it was.
    const QString load = loadAverage();

    // The site first, so that its start-up is outside the baseline.
    BenchSite benchSite;
    const std::optional<Site> site = startSite(options, benchSite);
    if (!site)
        return 1;
    QTemporaryDir scratch(options.scratchParent + QStringLiteral("/bench_dig-XXXXXX"));
    if (!scratch.isValid()) {
        std::fprintf(stderr, "bench_dig: cannot make a scratch folder in %s\n",
                     options.scratchParent.toUtf8().constData());
        return 1;
    }
    const QString folder = scratch.path() + QLatin1Char('/');
    BenchPlatform platform(folder);
    app.setErrorReporter([&platform](const QString& text) { platform.reportError(text); });
    TForm1 form(
        SiteConfig{site->hosts.video, QStringLiteral("youtu.be"), site->hosts.vendor,
                   QStringLiteral("www.paypal.com"), QStringLiteral("donations@clipvane.example")},
        platform);
    if (!options.hidden)
        form.show();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    if (!platform.clean())
        return reportFailure("the window did not start cleanly", platform, 0);

    // The dig itself.
    app.enabled = !options.hidden;
    const DigFigures f = runDig(form, options.start, options.depth);
    app.enabled = false;
    if (!platform.clean() || f.rows == 0)
        return reportFailure("the dig failed", platform, f.rows);

    // What it is measured against: the same GET sequence through a bare socket client, the
    // same dig by a short script, and (when fetches do not wait for the site) the dig again
    // with nothing on screen, the program's own client alone and each further step alone.
    Comparisons c;
    c.paints = app.shares();
    std::optional<Replays> bare = replayBareClient(f.urls, options);
    if (!bare)
        return 1;
    c.bare = std::move(*bare);
    c.peer = runPeerScript(options, site->hosts.video);
    if (options.delayMs == 0 && !c.bare.slowServer) {
        if (!options.hidden) {
            form.hide();
            QCoreApplication::processEvents();
            c.unshown = runDig(form, options.start, options.depth);
            if (!platform.clean())
                c.unshown.reset();
        }
        c.client = replayClient(f.urls, folder);
        c.steps = measureSteps(f.urls, c.bare.first.bodies, folder,
                               form.lv1->palette().color(QPalette::Base));
    }

    reportSetup(options, *site, folder, load);
    reportRows(f, c.bare);
    reportProcessor(f);
    reportMemory(f);
    reportStalls(f);
    reportBareReplay(f, c.bare);
    reportPeer(f, c.peer);
    reportBreakdown(f, c);
    const QStringList missed = missedGoals(options, f, c);
    if (missed.isEmpty())
        std::printf("goals: met\n");
    else
        std::printf("goals: missed: %s\n", missed.join(QStringLiteral("; ")).toUtf8().constData());
    std::fflush(stdout);
    return 0;
}
