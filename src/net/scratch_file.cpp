#include "net/scratch_file.h"

#include "base/errors.h"

#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {

QString reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

ScratchFile::ScratchFile(const QString& folder, const QString& name) {
    path_ = folder;
    if (!path_.isEmpty() && !path_.endsWith(QLatin1Char('/')))
        path_ += QLatin1Char('/');
    path_ += name;
    auto failure = [this](int error) {
        return AppError(QStringLiteral("Cannot create file \"%1\". %2").arg(path_, reason(error)));
    };
    const QByteArray native = path_.toLocal8Bit();
    // Not O_TRUNC: the file is only cut once the lock shows that nobody else holds it.
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        throw failure(errno);
    struct stat info {};
    int error = 0;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &info) != 0)
        error = errno;
    else if (S_ISDIR(info.st_mode))
        error = EISDIR;
    if (error != 0) {
        ::close(fd);
        throw failure(error);
    }
    fd_ = fd;
}

ScratchFile::~ScratchFile() {
    close();
}

void ScratchFile::keepCopy() {
    keepCopy_ = true;
    copy_.clear();
}

void ScratchFile::reserveCopy(qint64 bytes) {
    // Memory that is reserved but never written costs no resident memory.
    if (keepCopy_ && bytes > copy_.capacity())
        copy_.reserve(qsizetype(bytes));
}

void ScratchFile::write(const char* data, qsizetype size) {
    if (fd_ < 0)
        throw FetchError(QStringLiteral("Scratch file \"%1\" is closed").arg(path_));
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, std::size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FetchError(
                QStringLiteral("Cannot write file \"%1\". %2").arg(path_, reason(errno)));
        }
        // Only what reached the file, so that the copy never differs from it.
        if (keepCopy_)
            copy_.append(data, n);
        data += n;
        size -= n;
        written_ += n;
    }
}

void ScratchFile::discard() {
    copy_.clear();
    if (fd_ < 0)
        return;
    // Cut at once rather than at close: the bytes are unwanted and may be many.
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode))
        (void)::ftruncate(fd_, 0);
    (void)::lseek(fd_, 0, SEEK_SET);
    written_ = 0;
}

void ScratchFile::close() {
    if (fd_ >= 0) {
        // The old content is cut off here rather than at open: ext4 flushes a file to disk on close
        // when it was truncated to zero and then rewritten, which costs milliseconds per fetch.
        // Cutting to the written length gives the same file without that flush.
        struct stat info {};
        if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode) && info.st_size != written_)
            (void)::ftruncate(fd_, written_);
        ::close(fd_);
        fd_ = -1;
    }
}

QByteArray ScratchFile::readAll(const QString& path, qint64 limit) {
    auto failure = [&path](int error) {
        return AppError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, reason(error)));
    };
    const QByteArray native = path.toLocal8Bit();
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw failure(errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(fd);
        throw failure(error);
    }
    if (info.st_size > limit) {
        ::close(fd);
        throw failure(EFBIG);
    }
    QByteArray content;
    content.reserve(qsizetype(info.st_size));
    char chunk[65536];
    while (true) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            throw failure(error);
        }
        if (n == 0)
            break;
        // The file may grow while it is read (another copy of the program writing into it).
        if (content.size() + n > limit) {
            ::close(fd);
            throw failure(EFBIG);
        }
        content.append(chunk, n);
    }
    ::close(fd);
    return content;
}

QString ScratchFile::executableFolder() {
    const QFileInfo exe(QStringLiteral("/proc/self/exe"));
    return exe.canonicalFilePath().isEmpty()
               ? QString()
               : QFileInfo(exe.canonicalFilePath()).absolutePath() + QLatin1Char('/');
}
