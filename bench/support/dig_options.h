#pragma once

#include <QString>
#include <QStringList>

namespace bench {

struct DigOptions {
    enum class Peer { IfPython, Always, Never };

    int depth = 3;
    QString start = QStringLiteral("dQw4w9WgXcQ");
    QString siteHost;
    QString vendorHost;
    QString siteExecutable;
    QString dataFile;
    QString scratchParent;  // default: the current folder
    int delayMs = 0;
    bool allNew = false;
    bool inProcess = false;
    bool hidden = false;
    int replays = 0;  // 0: three, or one when every response is held
    Peer peer = Peer::IfPython;
    QString peerScript;  // default: bench/peer_dig.py of the source tree

    int replayCount() const { return replays > 0 ? replays : delayMs > 0 ? 1 : 3; }
};

void printUsage();
// False on an unknown option, a missing value or a value out of range.
bool parseDigOptions(const QStringList& args, DigOptions& options);

}  // namespace bench
