#include "support/site.h"

#ifdef CLIPVANE_HAVE_DEMO_SITE
#include "demo_site.h"
#endif

#include <QElapsedTimer>
#include <QRegularExpression>

namespace bench {

struct BenchSite::InProcess {
#ifdef CLIPVANE_HAVE_DEMO_SITE
    std::unique_ptr<demosite::DemoSite> site;
#endif
};

BenchSite::BenchSite() = default;

BenchSite::~BenchSite() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(2000);
        }
    }
}

QString BenchSite::builtExecutable() {
#ifdef CLIPVANE_DEMO_SITE_EXE
    return QStringLiteral(CLIPVANE_DEMO_SITE_EXE);
#else
    return {};
#endif
}

std::optional<SiteHosts> BenchSite::startChild(const SiteSettings& settings, QString* error) {
    const QString executable =
        settings.executable.isEmpty() ? builtExecutable() : settings.executable;
    if (executable.isEmpty()) {
        *error = QStringLiteral("no demo site executable; use --site-host");
        return std::nullopt;
    }
    QStringList arguments{QStringLiteral("--video-port"), QStringLiteral("0"),
                          QStringLiteral("--vendor-port"), QStringLiteral("0"),
                          QStringLiteral("--quiet")};
    if (!settings.dataFile.isEmpty())
        arguments << QStringLiteral("--data") << settings.dataFile;
    if (settings.delayMs > 0)
        arguments << QStringLiteral("--delay-ms") << QString::number(settings.delayMs);
    if (settings.allNew)
        arguments << QStringLiteral("--all-new");
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

std::optional<SiteHosts> BenchSite::startInProcess(const SiteSettings& settings, QString* error) {
#ifdef CLIPVANE_HAVE_DEMO_SITE
    demosite::Catalog catalog;
    std::string why;
    if (!settings.dataFile.isEmpty() && !catalog.loadSfu(settings.dataFile.toStdString(), &why)) {
        *error = QString::fromStdString(why);
        return std::nullopt;
    }
    catalog.setAllNew(settings.allNew);
    inProcess_ = std::make_unique<InProcess>();
    inProcess_->site = std::make_unique<demosite::DemoSite>(
        std::move(catalog), demosite::SiteOptions{0, 0, true, settings.delayMs});
    if (!inProcess_->site->start(&why)) {
        *error = QString::fromStdString(why);
        return std::nullopt;
    }
    return SiteHosts{QStringLiteral("localhost:%1").arg(inProcess_->site->videoPort()),
                     QStringLiteral("localhost:%1").arg(inProcess_->site->vendorPort())};
#else
    (void)settings;
    *error = QStringLiteral("built without the demo site; use --site-host");
    return std::nullopt;
#endif
}

QString nextPort(const QString& host) {
    const qsizetype colon = host.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return host;
    return host.left(colon + 1) + QString::number(host.mid(colon + 1).toInt() + 1);
}

}  // namespace bench
