#include "support/dig_options.h"

#include <QDir>

#include <algorithm>
#include <cstdio>

namespace bench {

void printUsage() {
    std::printf(
        "usage: bench_dig [options]\n"
        "  --depth N            explorer depth level 1, 2 or 3 (default 3)\n"
        "  --start ID           video identifier to dig from (default dQw4w9WgXcQ)\n"
        "  --delay-ms N         the started site holds every response N ms (default 0)\n"
        "  --all-new            the started site lists only videos no other page lists\n"
        "  --site-host H:P      use a running video site instead of starting one\n"
        "  --vendor-host H:P    its vendor site (default: video port + 1)\n"
        "  --site-exe PATH      the clipvane-demo-site executable to start\n"
        "  --data FILE          related-videos file handed to the started demo site\n"
        "  --in-process         serve the demo site from threads of this process\n"
        "  --hidden             leave the window unshown, so that nothing is painted\n"
        "  --scratch DIR        folder in which the scratch folder is made (default: .)\n"
        "  --replays N          bare replays, the median counts (default 3; 1 with --delay-ms)\n"
        "  --peer               run the peer script (default: when python3 is found)\n"
        "  --no-peer            do not run it\n"
        "  --peer-script PATH   another peer script (default bench/peer_dig.py)\n");
}

bool parseDigOptions(const QStringList& args, DigOptions& o) {
    o.scratchParent = QDir::currentPath();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        auto value = [&] { return args[++i]; };
        auto number = [&](int low, int high, int& out) {
            bool ok = false;
            out = value().toInt(&ok);
            return ok && out >= low && out <= high;
        };
        if (a == QLatin1String("--in-process")) {
            o.inProcess = true;
        } else if (a == QLatin1String("--hidden")) {
            o.hidden = true;
        } else if (a == QLatin1String("--all-new")) {
            o.allNew = true;
        } else if (a == QLatin1String("--peer")) {
            o.peer = DigOptions::Peer::Always;
        } else if (a == QLatin1String("--no-peer")) {
            o.peer = DigOptions::Peer::Never;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h") || !hasValue) {
            return false;
        } else if (a == QLatin1String("--depth")) {
            if (!number(1, 3, o.depth))
                return false;
        } else if (a == QLatin1String("--delay-ms")) {
            if (!number(0, 600000, o.delayMs))
                return false;
        } else if (a == QLatin1String("--replays")) {
            if (!number(1, 1000, o.replays))
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
        } else if (a == QLatin1String("--peer-script")) {
            o.peerScript = value();
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace bench
