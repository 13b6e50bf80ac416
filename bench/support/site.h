#pragma once

#include <QProcess>
#include <QString>

#include <memory>
#include <optional>

namespace bench {

struct SiteHosts {
    QString video;   // "localhost:PORT"
    QString vendor;  // "localhost:PORT"
};

struct SiteSettings {
    QString executable;   // empty: the one the build made
    QString dataFile;     // related-videos file, SFU layout
    int delayMs = 0;      // every response held this long
    bool allNew = false;  // every watch page lists only videos no other page lists
};

// The demo site for one run of the benchmark, on free ports: as a child process, so that its
// memory and threads stay out of the figures, or from threads of this process.
class BenchSite {
  public:
    BenchSite();
    ~BenchSite();
    BenchSite(const BenchSite&) = delete;
    BenchSite& operator=(const BenchSite&) = delete;

    std::optional<SiteHosts> startChild(const SiteSettings& settings, QString* error);
    std::optional<SiteHosts> startInProcess(const SiteSettings& settings, QString* error);

    // The site executable of this build, or empty when the build has none.
    static QString builtExecutable();

  private:
    struct InProcess;
    QProcess process_;
    std::unique_ptr<InProcess> inProcess_;
};

// "host:8080" gives "host:8081".
QString nextPort(const QString& host);

}  // namespace bench
