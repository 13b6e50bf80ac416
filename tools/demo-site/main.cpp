// clipvane-demo-site: the stand-in video site and vendor site that Clipvane's default build
// talks to. Serves until interrupted.
#include "demo_site.h"
#include "pages.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <pthread.h>
#include <csignal>
#include <cstdio>

namespace {

bool parsePort(const QString& text, int* port) {
    bool ok = false;
    int value = text.toInt(&ok);
    if (!ok || value < 0 || value > 65535)
        return false;
    *port = value;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Serving threads must not take the signals; main() waits for them below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("clipvane-demo-site"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Stand-in video site and vendor site for Clipvane, served on 127.0.0.1."));
    parser.addHelpOption();
    QCommandLineOption videoPort(QStringLiteral("video-port"),
                                 QStringLiteral("Port of the video site (default 18080)."),
                                 QStringLiteral("port"), QStringLiteral("18080"));
    QCommandLineOption vendorPort(QStringLiteral("vendor-port"),
                                  QStringLiteral("Port of the vendor site (default 18081)."),
                                  QStringLiteral("port"), QStringLiteral("18081"));
    QCommandLineOption data(QStringLiteral("data"),
                            QStringLiteral("Related-videos file in the SFU crawl layout."),
                            QStringLiteral("file"));
    QCommandLineOption quiet(QStringLiteral("quiet"), QStringLiteral("Do not log requests."));
    QCommandLineOption delay(
        QStringLiteral("delay-ms"),
        QStringLiteral("Hold every response this many milliseconds, as a distant server would."),
        QStringLiteral("ms"), QStringLiteral("0"));
    QCommandLineOption allNew(
        QStringLiteral("all-new"),
        QStringLiteral("Every watch page lists 20 videos that no other page lists."));
    parser.addOptions({videoPort, vendorPort, data, quiet, delay, allNew});
    parser.process(app);

    demosite::SiteOptions options;
    if (!parsePort(parser.value(videoPort), &options.videoPort) ||
        !parsePort(parser.value(vendorPort), &options.vendorPort)) {
        std::fprintf(stderr, "clipvane-demo-site: a port is a number from 0 to 65535\n");
        return 2;
    }
    options.quiet = parser.isSet(quiet);
    bool delayOk = false;
    options.delayMs = parser.value(delay).toInt(&delayOk);
    if (!delayOk || options.delayMs < 0 || options.delayMs > 600000) {
        std::fprintf(stderr, "clipvane-demo-site: --delay-ms takes 0 to 600000 milliseconds\n");
        return 2;
    }

    demosite::Catalog catalog;
    catalog.setAllNew(parser.isSet(allNew));
    if (parser.isSet(data)) {
        std::string error;
        if (!catalog.loadSfu(parser.value(data).toStdString(), &error)) {
            std::fprintf(stderr, "clipvane-demo-site: %s\n", error.c_str());
            return 1;
        }
    }
    const std::size_t known = catalog.knownCount();

    demosite::DemoSite site(std::move(catalog), options);
    std::string error;
    if (!site.start(&error)) {
        std::fprintf(stderr, "clipvane-demo-site: %s\n", error.c_str());
        return 1;
    }
    std::printf("Video site:  http://localhost:%d/  (watch pages: /watch?v=ID)\n",
                site.videoPort());
    std::printf("Vendor site: http://localhost:%d/  (remote configuration: /v.0)\n",
                site.vendorPort());
    if (known > 0)
        std::printf("Using %zu videos from the data file.\n", known);
    if (options.delayMs > 0)
        std::printf("Every response is held %d ms.\n", options.delayMs);
    if (site.catalog().allNew())
        std::printf("Every watch page lists 20 videos never listed before.\n");
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    site.stop();
    return 0;
}
