#pragma once

#include "build_config.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The main window's caption in this release; the remote configuration's first line names the
// newest release's.
inline constexpr char kReleaseCaption[] = CLIPVANE_CAPTION;

// Asked when the first line of the remote configuration differs from the window's caption.
inline constexpr char kOutdatedVersionQuestion[] =
    "The current version is outdated\r\n"
    "Do you want to Download the newest version on our website right now?";

// The lines of a remote configuration file. A UTF-8 or UTF-16 (LE or BE) byte-order mark
// selects that encoding, otherwise the system's 8-bit encoding applies. Lines end at CR LF,
// LF or CR; a final line without an ending counts, an ending at the very end opens no further
// line. Lines are not trimmed.
QStringList readConfigLines(const QByteArray& bytes);

struct RemoteConfigOutcome {
    QString regx;       // the related-video pattern to use
    bool versionCheck;  // the first line was compared with the caption
    bool outdated;      // ... and differed: offer the newest version
    bool keepSponsor;   // the sponsor panel stays shown
};

// What the remote configuration's lines mean for a window with this caption.
RemoteConfigOutcome evaluateRemoteConfig(const QStringList& lines, const QString& caption,
                                         const QString& builtInPattern);
