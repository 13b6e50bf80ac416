#include "support/peer.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace bench {

QString builtInPeerScript() {
#ifdef CLIPVANE_PEER_SCRIPT
    return QStringLiteral(CLIPVANE_PEER_SCRIPT);
#else
    return {};
#endif
}

QString findPython() {
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

PeerResult runPeer(const QString& python, const QString& script, const QString& videoHost,
                   const QString& start, int depth, const QString& scratchParent) {
    PeerResult result;
    QTemporaryDir listFolder;
    const QString list = listFolder.filePath(QStringLiteral("fetched.txt"));
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(python,
                  {script, QStringLiteral("--host"), videoHost, QStringLiteral("--start"), start,
                   QStringLiteral("--depth"), QString::number(depth), QStringLiteral("--scratch"),
                   scratchParent, QStringLiteral("--list"), list});
    // A depth-3 dig over a slow site takes minutes: no time limit.
    if (!process.waitForStarted(10000) || !process.waitForFinished(-1)) {
        result.error = QStringLiteral("cannot run %1: %2").arg(python, process.errorString());
        return result;
    }
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    auto figure = [&out](const char* pattern) {
        const QRegularExpression re(QString::fromLatin1(pattern),
                                    QRegularExpression::MultilineOption);
        return re.match(out).captured(1);
    };
    result.rows = figure("^rows (\\d+)$").toInt();
    result.fetches = figure("^fetches (\\d+)$").toInt();
    result.wallMs = figure("^wall time ([\\d.]+) ms$").toDouble();
    result.cpuMs = figure("^processor time ([\\d.]+) ms$").toDouble();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        result.error = QString::fromUtf8(process.readAllStandardError()).trimmed();
        if (result.error.isEmpty())
            result.error = QStringLiteral("exit status %1").arg(process.exitCode());
        return result;
    }
    QFile fetched(list);
    if (fetched.open(QIODevice::ReadOnly | QIODevice::Text))
        result.urls =
            QString::fromUtf8(fetched.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return result;
}

}  // namespace bench
