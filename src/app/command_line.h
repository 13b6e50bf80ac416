#pragma once

#include "app/site_config.h"
#include "results/dig_export.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>

class QIODevice;

// Exit statuses of the command line.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;  // the start page, a thumbnail file or the output
inline constexpr int kExitUsage = 2;   // bad options or no video address: nothing written
inline constexpr int kExitInterrupted = 130;

struct CommandLineOptions {
    enum class Action { Dig, Help, Version };
    Action action = Action::Dig;
    QString address;
    int depth = 2;
    ExportFormat format = ExportFormat::Csv;
    QString output;  // empty: standard output
    int connections = 4;
    QString thumbnails;  // folder; empty: no thumbnails are fetched
    qint64 maxRows = 100000;
    bool quiet = false;
};

struct ParsedCommandLine {
    std::optional<CommandLineOptions> options;
    QString error;  // one line, when there are no options
};

// The arguments after the program's name. Options are read in order; --help and --version end
// the reading. Values follow as the next argument or after "=".
ParsedCommandLine parseCommandLine(const QStringList& arguments);

// Whether the arguments ask for the command line (--dig, --help, --version) instead of the
// window.
bool wantsCommandLine(const QStringList& arguments);

struct CommandLineIo {
    QIODevice* out = nullptr;    // the table without --output, help and version
    QIODevice* err = nullptr;    // messages and progress
    bool errIsTerminal = false;  // progress as one updating line instead of a line per level
    // Set from outside (a signal) to end the dig and write what it has found.
    const std::atomic<bool>* interrupt = nullptr;
};

// The whole run: parse, fetch the remote configuration, dig, write. Returns the exit status.
int runCommandLine(const QStringList& arguments, const SiteConfig& site, const CommandLineIo& io);

// While it lives, SIGINT and SIGTERM set flag() instead of ending the process; a second one
// ends it the usual way. One at a time.
class InterruptSignals {
  public:
    InterruptSignals();
    ~InterruptSignals();
    InterruptSignals(const InterruptSignals&) = delete;
    InterruptSignals& operator=(const InterruptSignals&) = delete;
    const std::atomic<bool>& flag() const;
};

// The executable's command line: no window, no web engine, no display needed.
int commandLineMain(int argc, char** argv);
