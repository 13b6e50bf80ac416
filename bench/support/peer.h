#pragma once

#include <QString>
#include <QStringList>

namespace bench {

// What bench/peer_dig.py, the same dig written as a short script, reported.
struct PeerResult {
    QString error;  // empty when it ran to its end
    int rows = 0;
    int fetches = 0;
    double wallMs = 0;
    double cpuMs = 0;
    QStringList urls;  // every address it fetched, in order
};

// The script in the source tree this benchmark was built from.
QString builtInPeerScript();
// python3 on the PATH, or empty.
QString findPython();

PeerResult runPeer(const QString& python, const QString& script, const QString& videoHost,
                   const QString& start, int depth, const QString& scratchParent);

}  // namespace bench
