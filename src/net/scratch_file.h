#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// One of the fixed-name files ("v.0", "youtube.0", "default.0") that every download writes
// into and its caller reads back whole. Created on open if absent and held exclusively (flock)
// while open; once closed it holds exactly the bytes written since it was opened. Closed by the
// destructor at the latest.
class ScratchFile {
  public:
    // folder ends with a separator. Throws AppError "Cannot create file "%s". %s".
    ScratchFile(const QString& folder, const QString& name);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const QString& path() const { return path_; }
    // Appends bytes; throws FetchError when the write fails (disk full).
    void write(const char* data, qsizetype size);
    void close();
    bool isOpen() const { return fd_ >= 0; }

    // Reads a whole file. Throws AppError "Cannot open file "%s". %s".
    static QByteArray readAll(const QString& path);

    // The folder that holds the running executable, with a trailing separator, whatever the
    // current directory is.
    static QString executableFolder();

  private:
    QString path_;
    int fd_ = -1;
    off_t written_ = 0;
};
