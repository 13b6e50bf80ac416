#include "app/command_line.h"

#include "app/remote_config.h"
#include "base/errors.h"
#include "build_config.h"
#include "discovery/dig_engine.h"
#include "discovery/perl_regex.h"
#include "discovery/prefetching_fetcher.h"
#include "discovery/related_videos.h"
#include "discovery/video_ref.h"
#include "net/http_client.h"
#include "net/scratch_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <signal.h>
#include <unistd.h>
#include <cstdio>

namespace {

const char kUsage[] =
    "Usage: clipvane --dig ADDRESS [--depth N] [--format csv|json|gexf] [--output FILE]\n"
    "                [--connections N] [--thumbnails DIR] [--max-rows N] [--quiet]\n"
    "       clipvane --help | --version\n"
    "Without these options clipvane opens its window.\n"
    "\n"
    "Digs the related videos of a video without a window and writes them as a table.\n"
    "\n"
    "  --dig ADDRESS     the video to start from: anything the window's input box takes\n"
    "  --depth N         explorer depth, 1 to 5 (default 2)\n"
    "  --format F        csv, json or gexf (default: from the --output file's extension,\n"
    "                    else csv)\n"
    "  --output FILE     write the table to FILE (under a temporary name, then renamed);\n"
    "                    without it the table goes to standard output\n"
    "  --connections N   fetch on up to N connections at once, 1 to 16 (default 4); the\n"
    "                    table is the same for every N\n"
    "  --thumbnails DIR  also fetch every thumbnail and save it as DIR/ID.jpg, as downloaded\n"
    "                    (characters of ID other than letters, digits and -._~ as %XX);\n"
    "                    a video whose thumbnail cannot be fetched is left out. Without it\n"
    "                    no thumbnail is fetched and every listed video is a row\n"
    "  --max-rows N      stop adding rows at N (default 100000)\n"
    "  --quiet           no progress on standard error\n"
    "  --help            print this help\n"
    "  --version         print the version\n"
    "\n"
    "Pages that cannot be fetched after the start page are skipped and counted.\n"
    "Ctrl-C or SIGTERM ends the dig and writes the rows found so far.\n"
    "\n"
    "Exit status: 0 done; 1 the start page could not be fetched, or writing failed;\n"
    "2 bad usage or no video address (nothing is written); 130 interrupted.\n";

ParsedCommandLine usageError(const QString& text) {
    return {std::nullopt, QStringLiteral("clipvane: ") + text + QStringLiteral(" (see --help)")};
}

// Whole decimal numbers only: "3", not "3x" or " 3".
std::optional<qint64> wholeNumber(const QString& text) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || text.isEmpty() || !text.at(0).isDigit())
        return std::nullopt;
    return value;
}

void say(const CommandLineIo& io, const QString& line) {
    io.err->write((line + QLatin1Char('\n')).toUtf8());
}

QString seconds(double value) {
    return value < 10 ? QString::number(value, 'f', 1) : QString::number(qRound64(value));
}

// Identifiers are whatever the pages give; one must never name a path outside the folder.
QString thumbnailFileName(const QString& id) {
    return QString::fromLatin1(QUrl::toPercentEncoding(id)) + QStringLiteral(".jpg");
}

// Tells the user how the dig goes, saves thumbnails, and turns an interrupt into a stop.
class CommandLineDig : public DigListener {
  public:
    CommandLineDig(const CommandLineOptions& options, const CommandLineIo& io,
                   const std::atomic<bool>& interrupt, bool& stop)
        : options_(options), io_(io), interrupt_(interrupt), stop_(stop) {
        if (!options.thumbnails.isEmpty())
            thumbnails_ = QDir(options.thumbnails);
        clock_.start();
    }

    void attach(const DigEngine& engine, const PrefetchingFetcher& fetcher) {
        engine_ = &engine;
        fetcher_ = &fetcher;
    }

    bool startPageFailed() const { return startPageFailed_; }

    void startPageLoaded() override { pagesExplored_ = 1; }

    void levelStarted(int level) override {
        level_ = level;
        levelPages_ = qsizetype(engine_->rows().size());
        explored_ = 0;
        levelClock_.start();
        if (!options_.quiet && !io_.errIsTerminal)
            say(io_, QStringLiteral("level %1 of %2: %3 pages to explore, %4 rows so far")
                         .arg(level)
                         .arg(options_.depth)
                         .arg(levelPages_)
                         .arg(engine_->rows().size()));
        show(true);
    }

    void rowAdded(const DigRow& row, qsizetype, const QByteArray& thumbnail) override {
        if (!thumbnails_)
            return;
        QFile file(thumbnails_->filePath(thumbnailFileName(row.video.id)));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(thumbnail) != thumbnail.size() || !file.flush())
            throw AppError(
                QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString()));
    }

    void failed(Failure what, const QString& url) override {
        const QString reason = fetcher_->lastFailure();
        if (what == Failure::StartPage) {
            startPageFailed_ = true;
            startFailure_ =
                QStringLiteral("clipvane: cannot fetch the start page %1: %2").arg(url, reason);
            return;
        }
        message(QStringLiteral("clipvane: cannot fetch %1 (%2); skipped").arg(url, reason));
    }

    void afterRow() override { step(); }

    void afterPage() override {
        if (level_ > 1) {
            ++explored_;
            ++pagesExplored_;
        }
        step();
    }

    // The closing line of the progress display, and the notes that hold even with --quiet.
    void finish() {
        if (startPageFailed_) {
            endLine();
            say(io_, startFailure_);
            return;
        }
        if (!options_.quiet) {
            endLine();
            say(io_, QStringLiteral("%1 rows from %2 pages in %3 s (%4 fetches)")
                         .arg(engine_->rows().size())
                         .arg(pagesExplored_)
                         .arg(seconds(clock_.elapsed() / 1000.0))
                         .arg(fetcher_->fetchesDone()));
        }
        if (const int n = engine_->failedPages(); n > 0)
            say(io_, n == 1
                         ? QStringLiteral("clipvane: 1 page could not be fetched and was skipped")
                         : QStringLiteral("clipvane: %1 pages could not be fetched and were "
                                          "skipped")
                               .arg(n));
        if (const int n = fetcher_->failedThumbnails(); n > 0)
            say(io_, n == 1 ? QStringLiteral("clipvane: 1 thumbnail could not be fetched; its "
                                             "video was left out")
                            : QStringLiteral("clipvane: %1 thumbnails could not be fetched; "
                                             "their videos were left out")
                                  .arg(n));
        if (engine_->reachedMaxRows())
            say(io_,
                QStringLiteral("clipvane: stopped at %1 rows (--max-rows)").arg(options_.maxRows));
    }

    // Ends the updating line so that what follows starts on a line of its own.
    void endLine() {
        if (lineShown_)
            io_.err->write("\n");
        lineShown_ = false;
    }

  private:
    void step() {
        if (interrupt_.load())
            stop_ = true;
        show(false);
    }

    void message(const QString& text) {
        if (lineShown_)
            io_.err->write("\r\x1b[K");
        lineShown_ = false;
        say(io_, text);
        show(true);
    }

    void show(bool now) {
        if (options_.quiet || !io_.errIsTerminal)
            return;
        if (!now && shown_.isValid() && shown_.elapsed() < 100)
            return;
        shown_.start();
        const double elapsed = clock_.elapsed() / 1000.0;
        const qint64 fetches = fetcher_ ? fetcher_->fetchesDone() : 0;
        QString line = QStringLiteral("level %1/%2").arg(level_).arg(options_.depth);
        if (level_ > 1)
            line += QStringLiteral("  %1/%2 pages").arg(explored_).arg(levelPages_);
        line += QStringLiteral("  %1 rows").arg(engine_ ? engine_->rows().size() : 0);
        if (elapsed > 0.2)
            line += QStringLiteral("  %1 fetches/s").arg(qRound64(fetches / elapsed));
        if (level_ > 1 && explored_ > 0 && explored_ < levelPages_) {
            const double left =
                (levelPages_ - explored_) * (levelClock_.elapsed() / 1000.0) / double(explored_);
            line += QStringLiteral("  ~%1 s left").arg(seconds(left));
            if (level_ < options_.depth)
                line += QStringLiteral(" in this level");
        }
        io_.err->write(("\r" + line + "\x1b[K").toUtf8());
        lineShown_ = true;
    }

    const CommandLineOptions& options_;
    const CommandLineIo& io_;
    const std::atomic<bool>& interrupt_;
    bool& stop_;
    std::optional<QDir> thumbnails_;
    const DigEngine* engine_ = nullptr;
    const PrefetchingFetcher* fetcher_ = nullptr;
    QElapsedTimer clock_;
    QElapsedTimer levelClock_;
    QElapsedTimer shown_;
    int level_ = 1;
    qsizetype levelPages_ = 1;
    qsizetype explored_ = 0;
    qsizetype pagesExplored_ = 0;
    bool lineShown_ = false;
    bool startPageFailed_ = false;
    QString startFailure_;
};

// The remote configuration's pattern, as the window takes it; an outdated release is one line.
QString remotePattern(const SiteConfig& site, const QString& folder, const CommandLineIo& io,
                      const std::atomic<bool>& interrupt) {
    HttpClient client;
    client.setIdleHook([&interrupt, &client] {
        if (interrupt.load())
            client.requestAbort();
    });
    ScratchFile file(folder, QStringLiteral("v.0"));
    file.keepCopy();
    try {
        client.Get(site.vendorAddress(QStringLiteral("/v.0")), file, kConfigBodyLimit);
    } catch (const FetchError&) {
        // No remote configuration: the built-in settings stand. Whatever arrived is read all
        // the same, as the window reads its file.
    }
    file.close();
    const RemoteConfigOutcome outcome = evaluateRemoteConfig(
        readConfigLines(file.copy()), QString::fromUtf8(kReleaseCaption), builtInRelatedPattern());
    if (outcome.versionCheck && outcome.outdated)
        say(io, QStringLiteral("clipvane: this version is outdated; the newest is on %1")
                    .arg(site.vendorAddress(QStringLiteral("/"))));
    return outcome.regx;
}

// Checked before anything is fetched, so that a long dig does not end with nowhere to go.
QString folderProblem(const CommandLineOptions& options) {
    if (!options.output.isEmpty()) {
        const QFileInfo file(options.output);
        const QFileInfo folder(file.absolutePath());
        if (file.isDir())
            return QStringLiteral("--output %1 is a folder").arg(options.output);
        if (!folder.isDir() || !folder.isWritable())
            return QStringLiteral("cannot write into the folder of --output %1")
                .arg(options.output);
    }
    if (!options.thumbnails.isEmpty()) {
        const QFileInfo folder(options.thumbnails);
        if (!QDir().mkpath(options.thumbnails) || !folder.isWritable())
            return QStringLiteral("cannot write into --thumbnails %1").arg(options.thumbnails);
    }
    return {};
}

std::atomic<bool> gInterrupted{false};
struct sigaction gPreviousInt;
struct sigaction gPreviousTerm;

extern "C" void onInterrupt(int) {
    gInterrupted.store(true);
}

}  // namespace

ParsedCommandLine parseCommandLine(const QStringList& arguments) {
    CommandLineOptions options;
    bool dig = false;
    bool formatGiven = false;
    QStringList seen;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments[i];
        std::optional<QString> attached;
        if (!name.startsWith(QLatin1String("--")))
            return usageError(QStringLiteral("unexpected argument \"%1\"").arg(name));
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq > 0) {
            attached = name.mid(eq + 1);
            name.truncate(eq);
        }
        if (name == QLatin1String("--help") || name == QLatin1String("--version")) {
            if (attached)
                return usageError(QStringLiteral("%1 takes no value").arg(name));
            options.action = name == QLatin1String("--help") ? CommandLineOptions::Action::Help
                                                             : CommandLineOptions::Action::Version;
            return {options, {}};
        }
        if (seen.contains(name))
            return usageError(QStringLiteral("%1 is given twice").arg(name));
        seen << name;
        if (name == QLatin1String("--quiet")) {
            if (attached)
                return usageError(QStringLiteral("--quiet takes no value"));
            options.quiet = true;
            continue;
        }
        static const QStringList withValue = {
            QStringLiteral("--dig"),         QStringLiteral("--depth"),
            QStringLiteral("--format"),      QStringLiteral("--output"),
            QStringLiteral("--connections"), QStringLiteral("--thumbnails"),
            QStringLiteral("--max-rows")};
        if (!withValue.contains(name))
            return usageError(QStringLiteral("unknown option %1").arg(name));
        QString value;
        if (attached) {
            value = *attached;
        } else {
            if (i + 1 >= arguments.size())
                return usageError(QStringLiteral("%1 needs a value").arg(name));
            value = arguments[++i];
        }
        if (name == QLatin1String("--dig")) {
            dig = true;
            options.address = value;
        } else if (name == QLatin1String("--depth")) {
            const auto n = wholeNumber(value);
            if (!n || *n < 1 || *n > 5)
                return usageError(QStringLiteral("--depth is a number from 1 to 5"));
            options.depth = int(*n);
        } else if (name == QLatin1String("--connections")) {
            const auto n = wholeNumber(value);
            if (!n || *n < 1 || *n > PrefetchingFetcher::kMaxConnections)
                return usageError(QStringLiteral("--connections is a number from 1 to %1")
                                      .arg(PrefetchingFetcher::kMaxConnections));
            options.connections = int(*n);
        } else if (name == QLatin1String("--max-rows")) {
            const auto n = wholeNumber(value);
            if (!n || *n < 1)
                return usageError(QStringLiteral("--max-rows is a number from 1 up"));
            options.maxRows = *n;
        } else if (name == QLatin1String("--format")) {
            const auto format = exportFormatNamed(value);
            if (!format)
                return usageError(QStringLiteral("--format is csv, json or gexf"));
            options.format = *format;
            formatGiven = true;
        } else if (value.isEmpty()) {
            return usageError(QStringLiteral("%1 needs a value").arg(name));
        } else if (name == QLatin1String("--output")) {
            options.output = value;
        } else {
            options.thumbnails = value;
        }
    }
    if (!dig)
        return usageError(QStringLiteral("--dig ADDRESS is missing"));
    if (!formatGiven && !options.output.isEmpty())
        options.format = exportFormatForPath(options.output);
    return {options, {}};
}

bool wantsCommandLine(const QStringList& arguments) {
    for (const QString& argument : arguments) {
        const QString name = argument.section(QLatin1Char('='), 0, 0);
        if (name == QLatin1String("--dig") || name == QLatin1String("--help") ||
            name == QLatin1String("--version"))
            return true;
    }
    return false;
}

int runCommandLine(const QStringList& arguments, const SiteConfig& site, const CommandLineIo& io) {
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    if (!parsed.options) {
        say(io, parsed.error);
        return kExitUsage;
    }
    const CommandLineOptions& options = *parsed.options;
    switch (options.action) {
        case CommandLineOptions::Action::Help:
            io.out->write(kUsage);
            return kExitDone;
        case CommandLineOptions::Action::Version:
            io.out->write("clipvane " CLIPVANE_VERSION "\n");
            return kExitDone;
        case CommandLineOptions::Action::Dig:
            break;
    }
    const QString id = find_video_id(options.address, site.shortLinkToken());
    if (id.isEmpty()) {
        say(io, QStringLiteral("clipvane: no video address in \"%1\"").arg(options.address));
        return kExitUsage;
    }
    if (const QString problem = folderProblem(options); !problem.isEmpty()) {
        say(io, QStringLiteral("clipvane: ") + problem);
        return kExitFailed;
    }

    const std::atomic<bool> never{false};
    const std::atomic<bool>& interrupt = io.interrupt ? *io.interrupt : never;
    // The bodies pass through files of the HTTP client's; they live only as long as the run.
    const QTemporaryDir scratch;
    if (!scratch.isValid()) {
        say(io, QStringLiteral("clipvane: cannot make a temporary folder: %1")
                    .arg(scratch.errorString()));
        return kExitFailed;
    }
    const QString folder = scratch.path() + QLatin1Char('/');

    bool stop = false;
    CommandLineDig listener(options, io, interrupt, stop);
    try {
        const QString pattern = remotePattern(site, folder, io, interrupt);
        TPerlRegEx matcher;
        PrefetchingFetcher fetcher(options.connections, folder, &interrupt);
        DigEngine engine(matcher, fetcher, listener, stop);
        listener.attach(engine, fetcher);
        DigChoices choices;
        choices.startThumbnailFailureEndsDig = false;
        choices.pageFailureStopsDig = false;
        choices.fetchThumbnails = !options.thumbnails.isEmpty();
        choices.maxRows = options.maxRows;
        engine.run(id, options.depth, pattern, site.watchUrlPrefix(), choices);
        listener.finish();
        if (listener.startPageFailed())
            return kExitFailed;

        const bool interrupted = interrupt.load();
        const QByteArray table =
            exportDig(digTable(engine, options.depth, interrupted), options.format);
        if (options.output.isEmpty()) {
            io.out->write(table);
        } else if (QString error; !writeFileAtomically(options.output, table, &error)) {
            say(io, QStringLiteral("clipvane: cannot write %1: %2").arg(options.output, error));
            return kExitFailed;
        }
        if (interrupted) {
            say(io, QStringLiteral("clipvane: interrupted; the %1 rows found so far are written")
                        .arg(engine.rows().size()));
            return kExitInterrupted;
        }
    } catch (const AppError& error) {
        listener.endLine();
        say(io, QStringLiteral("clipvane: ") + error.message());
        return kExitFailed;
    }
    return kExitDone;
}

InterruptSignals::InterruptSignals() {
    gInterrupted.store(false);
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // A second signal ends the process at once, should the first not be enough.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, &gPreviousInt);
    sigaction(SIGTERM, &action, &gPreviousTerm);
}

InterruptSignals::~InterruptSignals() {
    sigaction(SIGINT, &gPreviousInt, nullptr);
    sigaction(SIGTERM, &gPreviousTerm, nullptr);
}

const std::atomic<bool>& InterruptSignals::flag() const {
    return gInterrupted;
}

int commandLineMain(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const InterruptSignals interrupts;
    QFile out;
    QFile err;
    out.open(STDOUT_FILENO, QIODevice::WriteOnly);
    err.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    const CommandLineIo io{&out, &err, ::isatty(STDERR_FILENO) == 1, &interrupts.flag()};
    const int status = runCommandLine(arguments, SiteConfig::fromBuild(), io);
    out.flush();
    return status;
}
