// A headless dig against the demo site, measured from the outside: rows, fetches, wall time,
// memory, the longest time the event loop went unserviced, and the same GET sequence replayed by
// a bare keep-alive socket client for comparison. See bench/README.md.
#include "app/application.h"
#include "base/errors.h"
#include "app/platform.h"
#include "app/site_config.h"
#include "app/tform1.h"
#include "discovery/image_list.h"
#include "discovery/perl_regex.h"
#include "discovery/related_videos.h"
#include "net/http_client.h"
#include "net/http_request.h"
#include "net/scratch_file.h"
#include "panes/web_pane.h"
#include "results/result_list_view.h"
#include "results/result_model.h"

#ifdef CLIPVANE_HAVE_DEMO_SITE
#include "demo_site.h"
#endif

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <linux/magic.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

constexpr double kGoalRatio = 1.5;
constexpr double kGoalBytesPerRow = 30 * 1024;
constexpr double kGoalStallMs = 50;
// Above this per fetch on loopback, the server is holding its answers back.
constexpr double kSlowFetchMs = 20;

// ---- the outside world of the window ----

class PlainPane : public WebPane {
  public:
    explicit PlainPane(QWidget* parent) : widget_(new QWidget(parent)) {}
    QWidget* widget() override { return widget_; }
    void navigate(const QString&) override {}
    void stop() override {}
    void setNavigationHandler(std::function<bool(const QString&)>) override {}

  private:
    QWidget* widget_;
};

// Dialogs are answered at once and kept, so that a failed dig shows up in the report instead of
// blocking the run.
class BenchPlatform : public Platform {
  public:
    explicit BenchPlatform(QString folder) : folder_(std::move(folder)) {}
    void showMessage(const QString& text) override { messages.append(text); }
    bool confirm(const QString&) override { return false; }
    void reportError(const QString& text) override { errors.append(text); }
    void openUrl(const QString&) override {}
    QString scratchFolder() const override { return folder_; }
    std::unique_ptr<WebPane> createWebPane(QWidget* parent) override {
        return std::make_unique<PlainPane>(parent);
    }

    QStringList messages;
    QStringList errors;

  private:
    QString folder_;
};

// ---- painting ----

// Times every paint event while enabled, per widget, without the paints of its children that
// happen inside it, so that the figures add up to the time spent painting.
class ProfilingApplication : public ClipvaneApplication {
  public:
    using ClipvaneApplication::ClipvaneApplication;

    struct Share {
        QString widget;
        int paints = 0;
        double ms = 0;
    };

    bool notify(QObject* receiver, QEvent* event) override {
        if (!enabled || event->type() != QEvent::Paint)
            return ClipvaneApplication::notify(receiver, event);
        const auto start = Clock::now();
        nested_.push_back(0);
        const bool result = ClipvaneApplication::notify(receiver, event);
        const double inside = nested_.back();
        nested_.pop_back();
        const double total = msBetween(start, Clock::now());
        if (!nested_.empty())
            nested_.back() += total;
        Share& share = shares_[widgetName(receiver)];
        ++share.paints;
        share.ms += total - inside;
        return result;
    }

    std::vector<Share> shares() const {
        std::vector<Share> list;
        for (auto it = shares_.begin(); it != shares_.end(); ++it)
            list.push_back({it.key(), it.value().paints, it.value().ms});
        std::sort(list.begin(), list.end(),
                  [](const Share& a, const Share& b) { return a.ms > b.ms; });
        return list;
    }

    bool enabled = false;

  private:
    static QString widgetName(QObject* object) {
        QString name = QString::fromLatin1(object->metaObject()->className()) + QLatin1Char(' ') +
                       object->objectName();
        // Scroll-area viewports all share one name; their owner tells them apart.
        if ((object->objectName().isEmpty() ||
             object->objectName().startsWith(QLatin1String("qt_"))) &&
            object->parent())
            name += QStringLiteral(" of ") + widgetName(object->parent());
        return name;
    }

    std::vector<double> nested_;
    QHash<QString, Share> shares_;
};

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000 + double(t.tv_nsec) / 1e6;
}

// ---- memory ----

long statusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
            return std::strtol(line.c_str() + length + 1, nullptr, 10);
    }
    return -1;
}

// Resets VmHWM to the current RSS (Linux 4.0 and later). False when the kernel refuses.
bool resetPeakRss() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return bool(clear);
}

// ---- the demo site ----

struct SiteHosts {
    QString video;   // "localhost:PORT"
    QString vendor;  // "localhost:PORT"
};

// The demo site as a child process, so that its memory stays out of the figures.
class ChildSite {
  public:
    ~ChildSite() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(5000)) {
                process_.kill();
                process_.waitForFinished(2000);
            }
        }
    }

    std::optional<SiteHosts> start(const QString& executable, const QString& dataFile,
                                   QString* error) {
        QStringList arguments{QStringLiteral("--video-port"), QStringLiteral("0"),
                              QStringLiteral("--vendor-port"), QStringLiteral("0"),
                              QStringLiteral("--quiet")};
        if (!dataFile.isEmpty())
            arguments << QStringLiteral("--data") << dataFile;
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(executable, arguments);
        if (!process_.waitForStarted(5000)) {
            *error = QStringLiteral("cannot start %1: %2").arg(executable, process_.errorString());
            return std::nullopt;
        }
        // The site prints one line per site once both listen.
        static const QRegularExpression video(QStringLiteral("^Video site:\\s+http://([^/]+)/"));
        static const QRegularExpression vendor(QStringLiteral("^Vendor site:\\s+http://([^/]+)/"));
        SiteHosts hosts;
        QElapsedTimer waited;
        waited.start();
        while (hosts.video.isEmpty() || hosts.vendor.isEmpty()) {
            if (!process_.canReadLine() && !process_.waitForReadyRead(200)) {
                if (process_.state() == QProcess::NotRunning || waited.elapsed() > 20000) {
                    *error = QStringLiteral("the demo site did not say where it listens");
                    return std::nullopt;
                }
                continue;
            }
            const QString line = QString::fromUtf8(process_.readLine()).trimmed();
            if (const auto m = video.match(line); m.hasMatch())
                hosts.video = m.captured(1);
            else if (const auto v = vendor.match(line); v.hasMatch())
                hosts.vendor = v.captured(1);
        }
        return hosts;
    }

  private:
    QProcess process_;
};

// ---- the bare client ----

struct ReplayResult {
    double ms = 0;
    std::uint64_t bytes = 0;
    int connections = 0;
    QString error;
    std::vector<QByteArray> bodies;  // kept when asked for
};

// One blocking socket per host, kept alive; the same request bytes the program sends (without
// its cookies); bodies framed by Content-Length or chunked coding and collected in memory.
class BareClient {
  public:
    ~BareClient() { closeConnection(); }

    bool get(const QString& url, std::string& body, QString* error) {
        QString why;
        const std::optional<HttpAddress> address = parseHttpAddress(url, &why);
        if (!address) {
            *error = why;
            return false;
        }
        if (fd_ >= 0 && (host_ != address->host || port_ != address->port))
            closeConnection();
        if (fd_ < 0 && !connectTo(*address, error))
            return false;
        const QByteArray request = buildGetRequest(*address, QByteArray());
        if (!sendAll(request)) {
            *error = QStringLiteral("send failed");
            return false;
        }
        try {
            return readResponse(body, error);
        } catch (const std::exception&) {  // a length that is no number
            *error = QStringLiteral("malformed response");
            closeConnection();
            return false;
        }
    }

    int connections() const { return connections_; }

  private:
    bool connectTo(const HttpAddress& address, QString* error) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const QByteArray service = QByteArray::number(address.port);
        if (::getaddrinfo(address.host.constData(), service.constData(), &hints, &found) != 0 ||
            !found) {
            *error = QStringLiteral("cannot resolve %1").arg(QString::fromLatin1(address.host));
            return false;
        }
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool ok = fd_ >= 0 && ::connect(fd_, found->ai_addr, found->ai_addrlen) == 0;
        ::freeaddrinfo(found);
        if (!ok) {
            *error =
                QStringLiteral("cannot connect: %1").arg(QString::fromLocal8Bit(strerror(errno)));
            closeConnection();
            return false;
        }
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        host_ = address.host;
        port_ = address.port;
        ++connections_;
        pending_.clear();
        return true;
    }

    void closeConnection() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    bool sendAll(const QByteArray& request) {
        const char* p = request.constData();
        std::size_t left = std::size_t(request.size());
        while (left > 0) {
            const ssize_t n = ::send(fd_, p, left, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            p += n;
            left -= std::size_t(n);
        }
        return true;
    }

    // At least one more byte into pending_.
    bool fill() {
        char chunk[64 * 1024];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        pending_.append(chunk, std::size_t(n));
        return true;
    }

    bool readLine(std::string& line) {
        std::size_t end;
        while ((end = pending_.find("\r\n")) == std::string::npos)
            if (!fill())
                return false;
        line.assign(pending_, 0, end);
        pending_.erase(0, end + 2);
        return true;
    }

    bool readExactly(std::size_t count, std::string& body) {
        while (pending_.size() < count)
            if (!fill())
                return false;
        body.append(pending_, 0, count);
        pending_.erase(0, count);
        return true;
    }

    bool readResponse(std::string& body, QString* error) {
        body.clear();
        std::string line;
        if (!readLine(line)) {
            *error = QStringLiteral("connection closed before the status line");
            return false;
        }
        const bool success = line.size() > 9 && line[9] == '2';
        std::optional<std::size_t> length;
        bool chunked = false;
        bool closeAfter = false;
        while (true) {
            if (!readLine(line)) {
                *error = QStringLiteral("connection closed in the header");
                return false;
            }
            if (line.empty())
                break;
            const QByteArray header = QByteArray::fromStdString(line).toLower();
            if (header.startsWith("content-length:"))
                length = std::stoull(line.substr(15));
            else if (header.startsWith("transfer-encoding:") && header.contains("chunked"))
                chunked = true;
            else if (header.startsWith("connection:") && header.contains("close"))
                closeAfter = true;
        }
        bool ok = true;
        if (chunked) {
            while (ok) {
                ok = readLine(line);
                const std::size_t size = ok ? std::stoull(line, nullptr, 16) : 0;
                if (!ok || size == 0)
                    break;
                ok = readExactly(size, body) && readLine(line);
            }
            while (ok && readLine(line) && !line.empty()) {
            }
        } else if (length) {
            ok = readExactly(*length, body);
        } else {
            while (fill()) {
            }
            body.swap(pending_);
            closeAfter = true;
        }
        if (closeAfter)
            closeConnection();
        if (!ok)
            *error = QStringLiteral("connection closed in the body");
        else if (!success)
            *error = QStringLiteral("unsuccessful status");
        return ok && success;
    }

    int fd_ = -1;
    QByteArray host_;
    quint16 port_ = 0;
    int connections_ = 0;
    std::string pending_;
};

ReplayResult replayBare(const QStringList& urls, bool keepBodies) {
    ReplayResult result;
    BareClient client;
    std::string body;
    const auto start = Clock::now();
    for (const QString& url : urls) {
        if (!client.get(url, body, &result.error)) {
            result.error = url + QStringLiteral(": ") + result.error;
            break;
        }
        result.bytes += body.size();
        if (keepBodies)
            result.bodies.push_back(QByteArray::fromStdString(body));
    }
    result.ms = msBetween(start, Clock::now());
    result.connections = client.connections();
    return result;
}

// The program's own client with its scratch files, without the window.
ReplayResult replayClient(const QStringList& urls, const QString& folder) {
    ReplayResult result;
    HttpClient client;
    const auto start = Clock::now();
    for (const QString& url : urls) {
        const bool watch = url.contains(QLatin1String("/watch?v="));
        ScratchFile file(folder, watch ? QStringLiteral("youtube.0") : QStringLiteral("default.0"));
        try {
            client.Get(url, file);
        } catch (const FetchError& e) {
            result.error = url + QStringLiteral(": ") + e.message();
            break;
        }
        file.close();
        result.bytes += ScratchFile::readAll(file.path()).size();
    }
    result.ms = msBetween(start, Clock::now());
    result.connections = client.connectionsOpened();
    return result;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// ---- options ----

struct Options {
    int depth = 3;
    QString start = QStringLiteral("dQw4w9WgXcQ");
    QString siteHost;
    QString vendorHost;
    QString siteExecutable;
    QString dataFile;
    QString scratchParent = QDir::currentPath();
    bool inProcess = false;
    bool hidden = false;
    int replays = 3;
};

void usage() {
    std::printf(
        "usage: bench_dig [options]\n"
        "  --depth N            explorer depth level 1, 2 or 3 (default 3)\n"
        "  --start ID           video identifier to dig from (default dQw4w9WgXcQ)\n"
        "  --site-host H:P      use a running video site instead of starting one\n"
        "  --vendor-host H:P    its vendor site (default: video port + 1)\n"
        "  --site-exe PATH      the clipvane-demo-site executable to start\n"
        "  --data FILE          related-videos file handed to the started demo site\n"
        "  --in-process         serve the demo site from threads of this process\n"
        "  --hidden             leave the window unshown, so that nothing is painted\n"
        "  --scratch DIR        folder in which the scratch folder is made (default: .)\n"
        "  --replays N          bare replays, the median counts (default 3)\n");
}

bool parseOptions(const QStringList& args, Options& o) {
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        auto value = [&] { return args[++i]; };
        if (a == QLatin1String("--in-process")) {
            o.inProcess = true;
        } else if (a == QLatin1String("--hidden")) {
            o.hidden = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h") || !hasValue) {
            return false;
        } else if (a == QLatin1String("--depth")) {
            o.depth = value().toInt();
            if (o.depth < 1 || o.depth > 3)
                return false;
        } else if (a == QLatin1String("--start")) {
            o.start = value();
        } else if (a == QLatin1String("--site-host")) {
            o.siteHost = value();
        } else if (a == QLatin1String("--vendor-host")) {
            o.vendorHost = value();
        } else if (a == QLatin1String("--site-exe")) {
            o.siteExecutable = value();
        } else if (a == QLatin1String("--data")) {
            o.dataFile = value();
        } else if (a == QLatin1String("--scratch")) {
            o.scratchParent = value();
        } else if (a == QLatin1String("--replays")) {
            o.replays = std::max(1, value().toInt());
        } else {
            return false;
        }
    }
    return true;
}

QString nextPort(const QString& host) {
    const qsizetype colon = host.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return host;
    return host.left(colon + 1) + QString::number(host.mid(colon + 1).toInt() + 1);
}

// ---- the dig ----

struct FetchMark {
    Clock::time_point at;
    bool watch;
};

struct MemorySample {
    int rows;
    long rssKiB;
};

struct DigFigures {
    int rows = 0;
    int watchFetches = 0;
    int thumbFetches = 0;
    double wallMs = 0;
    QStringList urls;
    std::vector<FetchMark> marks;
    std::vector<double> gapsMs;
    Clock::time_point longestGapEnd;
    double longestGapMs = 0;
    double longestGapCpuMs = 0;  // of it, on the processor
    double cpuMs = 0;            // the window's thread during the whole dig
    long rssBeforeKiB = 0;
    long rssAfterKiB = 0;
    long peakKiB = 0;
    bool peakWasReset = false;
    qsizetype imageBytes = 0;
    int rowsAfterStartPage = -1;
    std::vector<MemorySample> memory;

    // The first sample past a tenth of the rows: fixed costs (fonts, caches, the decoder) are
    // paid by then, so growth from there on is what each further row costs.
    std::optional<MemorySample> marginalFrom() const {
        for (const MemorySample& m : memory)
            if (m.rows > 0 && m.rows >= rows / 10 && m.rows < rows)
                return m;
        return std::nullopt;
    }
};

DigFigures dig(TForm1& form, const Options& options) {
    DigFigures f;
    form.idhtp1.setRequestObserver([&f, &form](const QString& url) {
        const bool watch = url.contains(QLatin1String("/watch?v="));
        f.urls.append(url);
        f.marks.push_back({Clock::now(), watch});
        if (watch && ++f.watchFetches == 2)
            f.rowsAfterStartPage = form.lv1Items->count();
        if (!watch)
            ++f.thumbFetches;
        if (f.urls.size() % 32 == 0)
            f.memory.push_back({form.lv1Items->count(), statusKiB("VmRSS")});
    });
    form.edt1->setEditText(form.site().watchUrlPrefix() + options.start);
    form.cbb2->setCurrentText(QString::number(options.depth));

    // Fires whenever the event loop gets a turn; gaps between firings are the stalls.
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(2);
    Clock::time_point last;
    double lastCpu = 0;
    auto mark = [&](Clock::time_point now) {
        const double cpu = threadCpuMs();
        const double gap = msBetween(last, now);
        f.gapsMs.push_back(gap);
        if (gap > f.longestGapMs) {
            f.longestGapMs = gap;
            f.longestGapEnd = now;
            f.longestGapCpuMs = cpu - lastCpu;
        }
        last = now;
        lastCpu = cpu;
    };
    QObject::connect(&ticker, &QTimer::timeout, [&] { mark(Clock::now()); });

    f.rssBeforeKiB = statusKiB("VmRSS");
    f.peakWasReset = resetPeakRss();
    ticker.start();
    const auto start = Clock::now();
    last = start;
    lastCpu = threadCpuMs();
    const double cpuStart = lastCpu;
    form.btn5Click(form.btn5);
    const auto end = Clock::now();
    f.cpuMs = threadCpuMs() - cpuStart;
    // The tail after the last turn counts as well.
    mark(end);
    ticker.stop();
    f.wallMs = msBetween(start, end);
    f.peakKiB = statusKiB("VmHWM");
    f.rssAfterKiB = statusKiB("VmRSS");
    f.rows = form.lv1Items->count();
    f.imageBytes = form.ImageList1.storedBytes();
    form.idhtp1.setRequestObserver({});
    return f;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t at = std::min(values.size() - 1, std::size_t(p * double(values.size())));
    return values[at];
}

bool onTmpfs(const QString& path) {
    struct statfs info {};
    return ::statfs(QFile::encodeName(path).constData(), &info) == 0 && info.f_type == TMPFS_MAGIC;
}

// Where the time of a dig goes when the window is left out: each step run alone over the bodies
// the bare replay collected, in the order the dig met them.
struct Breakdown {
    double scratchMs = 0;
    double scanMs = 0;
    double thumbMs = 0;
    int matches = 0;
};

Breakdown measureSteps(const QStringList& urls, const std::vector<QByteArray>& bodies,
                       const QString& folder, const QColor& background) {
    Breakdown b;
    TPerlRegEx matcher;
    const QString pattern = builtInRelatedPattern();
    ImageList images;
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        const bool watch = urls[qsizetype(i)].contains(QLatin1String("/watch?v="));
        auto t = Clock::now();
        {
            ScratchFile file(folder,
                             watch ? QStringLiteral("youtube.0") : QStringLiteral("default.0"));
            file.write(bodies[i].constData(), bodies[i].size());
            file.close();
            ScratchFile::readAll(file.path());
        }
        auto now = Clock::now();
        b.scratchMs += msBetween(t, now);
        t = now;
        if (watch) {
            RelatedVideoScan scan(matcher, pattern, bodies[i]);
            scan.study();
            for (RelatedVideo video; scan.next(video);)
                ++b.matches;
            now = Clock::now();
            b.scanMs += msBetween(t, now);
        } else {
            images.addPicture(bodies[i], background);
            now = Clock::now();
            b.thumbMs += msBetween(t, now);
        }
    }
    return b;
}

void row(const char* name, const QString& value) {
    std::printf("  %-44s %s\n", name, value.toUtf8().constData());
}

QString ms(double value) {
    return QStringLiteral("%1 ms").arg(value, 0, 'f', value < 10 ? 2 : 1);
}

QString kib(double bytes) {
    return QStringLiteral("%1 KB").arg(bytes / 1024, 0, 'f', 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ProfilingApplication app(argc, argv);
    Options options;
    if (!parseOptions(QCoreApplication::arguments(), options)) {
        usage();
        return 2;
    }

    // Other work on the machine shows up as stalls and wall time; say how busy it was.
    QString loadAverage;
    {
        QFile load(QStringLiteral("/proc/loadavg"));
        if (load.open(QIODevice::ReadOnly))
            loadAverage = QString::fromLatin1(load.readLine()).section(QLatin1Char(' '), 0, 2);
    }

    // The site first, so that its start-up is outside the baseline.
    SiteHosts hosts;
    QString siteMode;
    ChildSite child;
#ifdef CLIPVANE_HAVE_DEMO_SITE
    std::unique_ptr<demosite::DemoSite> inProcessSite;
#endif
    if (!options.siteHost.isEmpty()) {
        hosts.video = options.siteHost;
        hosts.vendor =
            options.vendorHost.isEmpty() ? nextPort(options.siteHost) : options.vendorHost;
        siteMode = QStringLiteral("running site given by --site-host");
    } else if (options.inProcess) {
#ifdef CLIPVANE_HAVE_DEMO_SITE
        demosite::Catalog catalog;
        std::string error;
        if (!options.dataFile.isEmpty() &&
            !catalog.loadSfu(options.dataFile.toStdString(), &error)) {
            std::fprintf(stderr, "bench_dig: %s\n", error.c_str());
            return 1;
        }
        inProcessSite = std::make_unique<demosite::DemoSite>(std::move(catalog),
                                                             demosite::SiteOptions{0, 0, true});
        if (!inProcessSite->start(&error)) {
            std::fprintf(stderr, "bench_dig: %s\n", error.c_str());
            return 1;
        }
        hosts.video = QStringLiteral("localhost:%1").arg(inProcessSite->videoPort());
        hosts.vendor = QStringLiteral("localhost:%1").arg(inProcessSite->vendorPort());
        siteMode = QStringLiteral("in this process (its memory counts in the figures)");
#else
        std::fprintf(stderr, "bench_dig: built without the demo site; use --site-host\n");
        return 2;
#endif
    } else {
        QString executable = options.siteExecutable;
#ifdef CLIPVANE_DEMO_SITE_EXE
        if (executable.isEmpty())
            executable = QStringLiteral(CLIPVANE_DEMO_SITE_EXE);
#endif
        if (executable.isEmpty()) {
            std::fprintf(stderr, "bench_dig: no demo site executable; use --site-host\n");
            return 2;
        }
        QString error;
        const std::optional<SiteHosts> started = child.start(executable, options.dataFile, &error);
        if (!started) {
            std::fprintf(stderr, "bench_dig: %s\n", error.toUtf8().constData());
            return 1;
        }
        hosts = *started;
        siteMode = QStringLiteral("child process");
    }

    QTemporaryDir scratch(options.scratchParent + QStringLiteral("/bench_dig-XXXXXX"));
    if (!scratch.isValid()) {
        std::fprintf(stderr, "bench_dig: cannot make a scratch folder in %s\n",
                     options.scratchParent.toUtf8().constData());
        return 1;
    }
    const QString folder = scratch.path() + QLatin1Char('/');
    BenchPlatform platform(folder);
    SiteConfig site{hosts.video, QStringLiteral("youtu.be"), hosts.vendor,
                    QStringLiteral("www.paypal.com"), QStringLiteral("donations@clipvane.example")};
    app.setErrorReporter([&platform](const QString& text) { platform.reportError(text); });

    TForm1 form(site, platform);
    if (!options.hidden)
        form.show();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    if (!platform.messages.isEmpty() || !platform.errors.isEmpty()) {
        std::fprintf(stderr, "bench_dig: the window did not start cleanly\n");
        return 1;
    }

    app.enabled = !options.hidden;
    const DigFigures f = dig(form, options);
    app.enabled = false;
    if (!platform.messages.isEmpty() || !platform.errors.isEmpty() || f.rows == 0) {
        std::fprintf(stderr, "bench_dig: the dig failed (%d rows)\n", f.rows);
        for (const QString& text : platform.messages + platform.errors)
            std::fprintf(stderr, "  %s\n", text.toUtf8().constData());
        return 1;
    }
    const QColor background = form.lv1->palette().color(QPalette::Base);
    const std::vector<ProfilingApplication::Share> paints = app.shares();

    // The same GET sequence without the window: a bare socket client first.
    std::vector<double> bareTimes;
    ReplayResult kept;
    bool slowServer = false;
    for (int i = 0; i < options.replays && !slowServer; ++i) {
        ReplayResult r = replayBare(f.urls, i == 0);
        if (!r.error.isEmpty()) {
            std::fprintf(stderr, "bench_dig: bare replay failed: %s\n",
                         r.error.toUtf8().constData());
            return 1;
        }
        bareTimes.push_back(r.ms);
        // Tens of milliseconds per fetch on loopback is the server's doing; the finer figures
        // would only measure its delay again, at great length.
        slowServer = r.ms / double(f.urls.size()) > kSlowFetchMs;
        if (i == 0)
            kept = std::move(r);
    }
    const double bareMs = median(bareTimes);

    // The same dig once more with nothing on screen: the difference is what painting costs.
    std::optional<DigFigures> unshown;
    if (!options.hidden && !slowServer) {
        form.hide();
        QCoreApplication::processEvents();
        unshown = dig(form, options);
        if (!platform.messages.isEmpty() || !platform.errors.isEmpty())
            unshown.reset();
    }
    // Then the program's own client, and each step alone.
    const ReplayResult clientReplay = slowServer ? ReplayResult{} : replayClient(f.urls, folder);
    const Breakdown steps = measureSteps(f.urls, kept.bodies, folder, background);

    // The longest stall, and what was fetched during it.
    int stallWatch = 0, stallThumbs = 0;
    const auto stallStart =
        f.longestGapEnd - std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double, std::milli>(f.longestGapMs));
    for (const FetchMark& m : f.marks) {
        if (m.at >= stallStart && m.at <= f.longestGapEnd)
            ++(m.watch ? stallWatch : stallThumbs);
    }
    int longGaps = 0;
    for (double g : f.gapsMs)
        longGaps += g > kGoalStallMs;

    const double ratio = f.wallMs / bareMs;
    const double peakGrowthBytes = double(f.peakKiB - f.rssBeforeKiB) * 1024;
    const double bytesPerRow = peakGrowthBytes / f.rows;

    const double perFetchBare = bareMs / std::max<qsizetype>(1, f.urls.size());
    std::printf("bench_dig: depth-%d dig from %s\n", options.depth,
                options.start.toUtf8().constData());
    row("demo site", siteMode + QStringLiteral(", video ") + hosts.video);
    row("scratch folder", folder + (onTmpfs(folder) ? QStringLiteral(" (tmpfs: in memory)")
                                                    : QStringLiteral(" (disk)")));
    row("load average before the run", loadAverage);
    row("window", options.hidden ? QStringLiteral("not shown") : QStringLiteral("shown"));
    std::printf("\n");
    row("rows", QString::number(f.rows));
    row("rows from the start page",
        QString::number(f.rowsAfterStartPage < 0 ? f.rows : f.rowsAfterStartPage));
    row("watch-page fetches", QString::number(f.watchFetches));
    row("thumbnail fetches", QString::number(f.thumbFetches));
    row("bytes fetched", kib(double(kept.bytes)));
    row("wall time", ms(f.wallMs));
    row("time per row", ms(f.wallMs / f.rows));
    row("processor time of the window's thread", ms(f.cpuMs));
    std::printf("\n");
    row("peak RSS growth",
        kib(peakGrowthBytes) + (f.peakWasReset ? QString() : QStringLiteral(" (peak not reset)")));
    row("peak memory per row", kib(bytesPerRow));
    if (const std::optional<MemorySample> from = f.marginalFrom())
        row("  per row after the first rows",
            kib(double(f.peakKiB - from->rssKiB) * 1024 / (f.rows - from->rows)) +
                QStringLiteral(" (rows %1 to %2)").arg(from->rows).arg(f.rows));
    row("RSS growth kept after the dig", kib(double(f.rssAfterKiB - f.rssBeforeKiB) * 1024));
    row("thumbnail store per row (ImageList1)", kib(double(f.imageBytes) / f.rows));
    std::printf("\n");
    row("event-loop turns seen", QString::number(f.gapsMs.size()));
    row("longest stall",
        ms(f.longestGapMs) + QStringLiteral(" (%1 on the processor; %2 watch pages, %3 thumbnails "
                                            "fetched in it)")
                                 .arg(ms(f.longestGapCpuMs))
                                 .arg(stallWatch)
                                 .arg(stallThumbs));
    row("99th percentile gap", ms(percentile(f.gapsMs, 0.99)));
    row("gaps above 50 ms", QString::number(longGaps));
    std::printf("\n");
    QStringList runs;
    for (double t : bareTimes)
        runs << ms(t);
    row("bare keep-alive replay (median)", ms(bareMs) + QStringLiteral("  [%1; %2 connection(s)]")
                                                            .arg(runs.join(QStringLiteral(", ")))
                                                            .arg(kept.connections));
    row("  per fetch", ms(perFetchBare));
    row("dig / bare replay", QString::number(ratio, 'f', 2));
    if (slowServer)
        std::printf(
            "  note: every fetch takes %.0f ms on loopback even for the bare client: the\n"
            "  server holds each response back (Nagle against delayed ACK: its sockets\n"
            "  need TCP_NODELAY). The figures show the server's delay, not the dig's.\n",
            perFetchBare);
    std::printf("\n");

    // Each step alone over the same bodies, and painting as the difference between a shown and
    // an unshown window; what is left is the list model, the label and the event processing.
    const double paintMs = unshown ? f.wallMs - unshown->wallMs : 0;
    const double restMs = f.wallMs - clientReplay.ms - steps.scanMs - steps.thumbMs - paintMs;
    auto share = [&](const char* name, double value) {
        row(name,
            QStringLiteral("%1  %2 ms per row").arg(ms(value), 10).arg(value / f.rows, 0, 'f', 3));
    };
    if (!slowServer) {
        std::printf("  where the dig's time goes:\n");
        share("  fetches: program's client + scratch files", clientReplay.ms);
        share("    of which scratch file write + read back", steps.scratchMs);
        share("  related-video scan of the watch pages", steps.scanMs);
        share("  thumbnail into the image list", steps.thumbMs);
        if (unshown)
            share("  painting (shown minus unshown window)", paintMs);
        share("  rest: list, label, event processing", restMs);
    }
    if (!clientReplay.error.isEmpty())
        std::printf("  (the client replay failed: %s)\n", clientReplay.error.toUtf8().constData());
    if (unshown && unshown->urls != f.urls)
        std::printf("  (the unshown dig fetched another sequence: painting share is rough)\n");
    if (!paints.empty()) {
        std::printf("  painting during the dig, by widget (own time, children excluded):\n");
        for (std::size_t i = 0; i < std::min<std::size_t>(paints.size(), 5); ++i) {
            const QString name = QStringLiteral("    ") + paints[i].widget;
            std::printf("  %-44s %s in %d paints\n", name.toUtf8().constData(),
                        ms(paints[i].ms).toUtf8().constData(), paints[i].paints);
        }
    }
    std::printf("\n");

    QStringList missed;
    if (slowServer)
        missed << QStringLiteral("ratio not measurable: the server delays every fetch");
    else if (ratio > kGoalRatio)
        missed << QStringLiteral("ratio %1 > %2").arg(ratio, 0, 'f', 2).arg(kGoalRatio);
    if (bytesPerRow > kGoalBytesPerRow)
        missed << QStringLiteral("%1 per row > 30 KB").arg(kib(bytesPerRow));
    if (f.longestGapMs > kGoalStallMs)
        missed << QStringLiteral("stall %1 > 50 ms").arg(ms(f.longestGapMs));
    if (missed.isEmpty())
        std::printf("goals: met\n");
    else
        std::printf("goals: missed: %s\n", missed.join(QStringLiteral("; ")).toUtf8().constData());
    std::fflush(stdout);
    return 0;
}
