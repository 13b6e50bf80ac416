#pragma once

#include "net/fetch_limits.h"

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
    // Also keeps in memory what is written from now on, so that the caller can take the bytes
    // from copy() instead of reading the file back.
    void keepCopy();
    // Room for a copy of about that many bytes, taken at once so that the copy never moves
    // while it grows (nothing without keepCopy()).
    void reserveCopy(qint64 bytes);
    // Appends bytes; throws FetchError when the write fails (disk full).
    void write(const char* data, qsizetype size);
    // Drops everything written since the file was opened.
    void discard();
    void close();
    bool isOpen() const { return fd_ >= 0; }
    // Bytes written since the file was opened.
    qint64 size() const { return written_; }
    // The bytes written since keepCopy(); after close, exactly the content of the file.
    QByteArray copy() const { return copy_; }

    // Reads a whole file of at most limit bytes. Throws AppError "Cannot open file "%s". %s",
    // also when the file is larger than limit.
    static QByteArray readAll(const QString& path, qint64 limit = kPageBodyLimit);

    // The folder that holds the running executable, with a trailing separator, whatever the
    // current directory is.
    static QString executableFolder();

  private:
    QString path_;
    int fd_ = -1;
    off_t written_ = 0;
    bool keepCopy_ = false;
    QByteArray copy_;
};
