#include "support/bare_client.h"

#include "base/errors.h"
#include "net/http_client.h"
#include "net/http_request.h"
#include "net/scratch_file.h"
#include "support/proc_readers.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace bench {

BareClient::~BareClient() {
    closeConnection();
}

bool BareClient::get(const QString& url, std::string& body, QString* error) {
    QString why;
    const std::optional<HttpAddress> address = parseHttpAddress(url, &why);
    if (!address) {
        *error = why;
        return false;
    }
    if (fd_ >= 0 && (host_ != address->host || port_ != address->port))
        closeConnection();
    if (fd_ < 0 && !connectTo(*address, error))
        return false;
    const QByteArray request = buildGetRequest(*address, QByteArray());
    if (!sendAll(request)) {
        *error = QStringLiteral("send failed");
        return false;
    }
    try {
        return readResponse(body, error);
    } catch (const std::exception&) {  // a length that is no number
        *error = QStringLiteral("malformed response");
        closeConnection();
        return false;
    }
}

bool BareClient::connectTo(const HttpAddress& address, QString* error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const QByteArray service = QByteArray::number(address.port);
    if (::getaddrinfo(address.host.constData(), service.constData(), &hints, &found) != 0 ||
        !found) {
        *error = QStringLiteral("cannot resolve %1").arg(QString::fromLatin1(address.host));
        return false;
    }
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok = fd_ >= 0 && ::connect(fd_, found->ai_addr, found->ai_addrlen) == 0;
    ::freeaddrinfo(found);
    if (!ok) {
        *error = QStringLiteral("cannot connect: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        closeConnection();
        return false;
    }
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    host_ = address.host;
    port_ = address.port;
    ++connections_;
    pending_.clear();
    return true;
}

void BareClient::closeConnection() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool BareClient::sendAll(const QByteArray& request) {
    const char* p = request.constData();
    std::size_t left = std::size_t(request.size());
    while (left > 0) {
        const ssize_t n = ::send(fd_, p, left, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        p += n;
        left -= std::size_t(n);
    }
    return true;
}

// At least one more byte into pending_.
bool BareClient::fill() {
    char chunk[64 * 1024];
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0)
        return false;
    pending_.append(chunk, std::size_t(n));
    return true;
}

bool BareClient::readLine(std::string& line) {
    std::size_t end;
    while ((end = pending_.find("\r\n")) == std::string::npos)
        if (!fill())
            return false;
    line.assign(pending_, 0, end);
    pending_.erase(0, end + 2);
    return true;
}

bool BareClient::readExactly(std::size_t count, std::string& body) {
    while (pending_.size() < count)
        if (!fill())
            return false;
    body.append(pending_, 0, count);
    pending_.erase(0, count);
    return true;
}

bool BareClient::readResponse(std::string& body, QString* error) {
    body.clear();
    std::string line;
    if (!readLine(line)) {
        *error = QStringLiteral("connection closed before the status line");
        return false;
    }
    const bool success = line.size() > 9 && line[9] == '2';
    std::optional<std::size_t> length;
    bool chunked = false;
    bool closeAfter = false;
    while (true) {
        if (!readLine(line)) {
            *error = QStringLiteral("connection closed in the header");
            return false;
        }
        if (line.empty())
            break;
        const QByteArray header = QByteArray::fromStdString(line).toLower();
        if (header.startsWith("content-length:"))
            length = std::stoull(line.substr(15));
        else if (header.startsWith("transfer-encoding:") && header.contains("chunked"))
            chunked = true;
        else if (header.startsWith("connection:") && header.contains("close"))
            closeAfter = true;
    }
    bool ok = true;
    if (chunked) {
        while (ok) {
            ok = readLine(line);
            const std::size_t size = ok ? std::stoull(line, nullptr, 16) : 0;
            if (!ok || size == 0)
                break;
            ok = readExactly(size, body) && readLine(line);
        }
        while (ok && readLine(line) && !line.empty()) {
        }
    } else if (length) {
        ok = readExactly(*length, body);
    } else {
        while (fill()) {
        }
        body.swap(pending_);
        closeAfter = true;
    }
    if (closeAfter)
        closeConnection();
    if (!ok)
        *error = QStringLiteral("connection closed in the body");
    else if (!success)
        *error = QStringLiteral("unsuccessful status");
    return ok && success;
}

ReplayResult replayBare(const QStringList& urls, bool keepBodies) {
    ReplayResult result;
    BareClient client;
    std::string body;
    const auto start = Clock::now();
    for (const QString& url : urls) {
        if (!client.get(url, body, &result.error)) {
            result.error = url + QStringLiteral(": ") + result.error;
            break;
        }
        result.bytes += body.size();
        if (keepBodies)
            result.bodies.push_back(QByteArray::fromStdString(body));
    }
    result.ms = msBetween(start, Clock::now());
    result.connections = client.connections();
    return result;
}

// The program's own client with its scratch files, without the window.
ReplayResult replayClient(const QStringList& urls, const QString& folder) {
    ReplayResult result;
    HttpClient client;
    const auto start = Clock::now();
    for (const QString& url : urls) {
        const bool watch = url.contains(QLatin1String("/watch?v="));
        ScratchFile file(folder, watch ? QStringLiteral("youtube.0") : QStringLiteral("default.0"));
        try {
            client.Get(url, file);
        } catch (const FetchError& e) {
            result.error = url + QStringLiteral(": ") + e.message();
            break;
        }
        file.close();
        result.bytes += ScratchFile::readAll(file.path()).size();
    }
    result.ms = msBetween(start, Clock::now());
    result.connections = client.connectionsOpened();
    return result;
}

}  // namespace bench
