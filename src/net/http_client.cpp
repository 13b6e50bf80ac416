#include "net/http_client.h"

#include "base/errors.h"
#include "net/http_request.h"
#include "net/response_parser.h"
#include "net/scratch_file.h"

#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QScopedValueRollback>
#include <QUrl>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long one wait lasts before the window gets a turn (to paint, and to let "Stop" act).
constexpr milliseconds kPollSlice{16};
// While a body streams in without pauses, the window still gets a turn this often.
constexpr milliseconds kHookInterval{16};
constexpr std::size_t kBufferSize = 64 * 1024;
// A failing response's body is read off the connection so that it can serve the next
// fetch; beyond this size closing the connection is cheaper.
constexpr std::uint64_t kMaxDiscardedBody = 4 * 1024 * 1024;

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void fetchFailure(const QString& message) {
    throw FetchError(message);
}

// One name lookup on a thread of its own, since getaddrinfo can neither be bounded nor broken
// off. The fetch waits for the event descriptor and may give up first; the thread then ends on
// its own and the last owner frees the result.
struct Lookup {
    int event = -1;
    std::atomic<bool> done{false};
    int status = 0;
    addrinfo* result = nullptr;

    Lookup() : event(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Lookup() {
        if (result)
            ::freeaddrinfo(result);
        if (event >= 0)
            ::close(event);
    }
};

class FdGuard {
  public:
    explicit FdGuard(int fd) : fd_(fd) {}
    ~FdGuard() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

// Set-Cookie2 may list several cookies separated by commas; commas inside quotes belong to
// values.
QList<QByteArray> splitCookie2(const QByteArray& value) {
    QList<QByteArray> parts;
    bool quoted = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '"')
            quoted = !quoted;
        else if (value[i] == ',' && !quoted) {
            parts.append(value.mid(start, i - start).trimmed());
            start = i + 1;
        }
    }
    parts.append(value.mid(start).trimmed());
    return parts;
}

bool safeForHeader(const QByteArray& text) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return false;
    }
    return true;
}

}  // namespace

struct HttpClient::Impl final : ResponseParser::BodySink {
    int fd = -1;
    QByteArray connHost;
    quint16 connPort = 0;
    int opened = 0;

    std::function<void()> hook;
    std::function<void(const QString&)> observer;
    HttpClient::Resolver resolver = [](const char* host, const char* service, const addrinfo* hints,
                                       addrinfo** result) {
        return ::getaddrinfo(host, service, hints, result);
    };
    milliseconds connectTimeout = kConnectTimeLimit;
    milliseconds idleTimeout = kIdleTimeLimit;
    milliseconds fetchTimeout = kFetchTimeLimit;
    Clock::time_point lastHook;
    Clock::time_point fetchDeadline = Clock::time_point::max();
    bool abortRequested = false;

    QNetworkCookieJar jar;
    std::vector<char> buffer = std::vector<char>(kBufferSize);
    bool busy = false;
    // The last response was read to its end, so the connection is in a known state.
    bool settled = false;

    // Where body bytes go: the scratch file of a successful response, or nowhere.
    ScratchFile* target = nullptr;
    qint64 bodyLimit = kPageBodyLimit;
    std::uint64_t discarded = 0;

    [[noreturn]] void overLimit() {
        if (target)
            target->discard();
        fetchFailure(QStringLiteral("Body larger than %1 bytes").arg(bodyLimit));
    }

    void onBody(const char* data, std::size_t size) override {
        if (target) {
            if (target->size() + qint64(size) > bodyLimit)
                overLimit();
            target->write(data, qsizetype(size));
        } else {
            discarded += size;
        }
    }

    void closeConnection() {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }

    void callHook() {
        lastHook = Clock::now();
        if (hook)
            hook();
        if (abortRequested)
            throw FetchAborted(QStringLiteral("Fetch aborted"));
    }

    void maybeCallHook() {
        if (hook && Clock::now() - lastHook >= kHookInterval)
            callHook();
    }

    void checkFetchDeadline() const {
        if (Clock::now() >= fetchDeadline)
            fetchFailure(QStringLiteral("Timed out: the fetch took longer than %1 ms")
                             .arg(fetchTimeout.count()));
    }

    // Waits until the descriptor is ready for events, letting the window have its turns.
    void waitFor(int socket, short events, Clock::time_point deadline, const char* what) {
        while (true) {
            checkFetchDeadline();
            const auto now = Clock::now();
            if (now >= deadline)
                fetchFailure(QStringLiteral("Timed out %1").arg(QLatin1String(what)));
            deadline = std::min(deadline, fetchDeadline);
            const auto left = std::chrono::ceil<milliseconds>(deadline - now);
            pollfd p{socket, events, 0};
            const int ready = ::poll(&p, 1, int(std::min(left, kPollSlice).count()));
            if (ready > 0)
                return;
            if (ready < 0 && errno != EINTR)
                fetchFailure(
                    QStringLiteral("Waiting on the socket failed: %1").arg(systemReason(errno)));
            if (ready == 0)
                callHook();
            else
                maybeCallHook();
        }
    }

    // The IPv4 addresses of host, looked up within the connect limit.
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> lookUp(const HttpAddress& address) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        const QByteArray service = QByteArray::number(address.port);
        addrinfo* found = nullptr;
        int status = 0;
        in_addr numeric{};
        if (::inet_pton(AF_INET, address.host.constData(), &numeric) == 1) {
            // Nothing to wait for.
            hints.ai_flags = AI_NUMERICHOST;
            status = ::getaddrinfo(address.host.constData(), service.constData(), &hints, &found);
        } else {
            auto lookup = std::make_shared<Lookup>();
            if (lookup->event < 0)
                fetchFailure(QStringLiteral("Cannot look up host %1: %2")
                                 .arg(QString::fromLatin1(address.host), systemReason(errno)));
            try {
                std::thread([lookup, resolve = resolver, host = address.host, service, hints] {
                    lookup->status =
                        resolve(host.constData(), service.constData(), &hints, &lookup->result);
                    lookup->done.store(true, std::memory_order_release);
                    const std::uint64_t one = 1;
                    [[maybe_unused]] const ssize_t n = ::write(lookup->event, &one, sizeof one);
                }).detach();
            } catch (const std::system_error& e) {
                fetchFailure(
                    QStringLiteral("Cannot look up host %1: %2")
                        .arg(QString::fromLatin1(address.host), QString::fromLocal8Bit(e.what())));
            }
            waitFor(lookup->event, POLLIN, Clock::now() + connectTimeout,
                    "looking up the host name");
            if (!lookup->done.load(std::memory_order_acquire))
                fetchFailure(QStringLiteral("Cannot look up host %1")
                                 .arg(QString::fromLatin1(address.host)));
            status = lookup->status;
            found = std::exchange(lookup->result, nullptr);
        }
        std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);
        if (status != 0 || !found)
            fetchFailure(QStringLiteral("Cannot resolve host %1: %2")
                             .arg(QString::fromLatin1(address.host),
                                  QString::fromLocal8Bit(::gai_strerror(status))));
        return list;
    }

    void connectTo(const HttpAddress& address) {
        const auto list = lookUp(address);
        const addrinfo* found = list.get();
        const auto deadline = Clock::now() + connectTimeout;
        int lastError = ECONNREFUSED;
        for (const addrinfo* ai = found; ai; ai = ai->ai_next) {
            const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (s < 0) {
                lastError = errno;
                continue;
            }
            FdGuard guard(s);
            if (::connect(s, ai->ai_addr, ai->ai_addrlen) != 0) {
                if (errno != EINPROGRESS) {
                    lastError = errno;
                    continue;
                }
                waitFor(s, POLLOUT, deadline, "connecting");
                int error = 0;
                socklen_t length = sizeof error;
                if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                    error = errno;
                if (error != 0) {
                    lastError = error;
                    continue;
                }
            }
            const int one = 1;
            ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            fd = guard.release();
            connHost = address.host;
            connPort = address.port;
            ++opened;
            return;
        }
        fetchFailure(
            QStringLiteral("Cannot connect to %1: %2")
                .arg(QString::fromLatin1(hostHeaderValue(address)), systemReason(lastError)));
    }

    // A kept connection that the server has closed, or on which it sent something unasked,
    // cannot carry the next request.
    bool idleConnectionUsable() const {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, 0);
        if (ready == 0)
            return true;
        if (ready < 0)
            return false;
        char byte;
        const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }

    // False (with errno) when the connection broke.
    bool sendAll(const QByteArray& request) {
        const char* p = request.constData();
        qsizetype left = request.size();
        while (left > 0) {
            const ssize_t n = ::send(fd, p, std::size_t(left), MSG_NOSIGNAL);
            if (n >= 0) {
                p += n;
                left -= n;
                continue;
            }
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return false;
            waitFor(fd, POLLOUT, Clock::now() + idleTimeout, "sending the request");
        }
        return true;
    }

    // Bytes read, 0 at the end of the stream, -1 (with errno) when the connection broke.
    ssize_t receive() {
        // A server that keeps sending can only be bounded here, since the wait below is then
        // never reached.
        checkFetchDeadline();
        const auto deadline = Clock::now() + idleTimeout;
        while (true) {
            const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (n >= 0) {
                maybeCallHook();
                return n;
            }
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return -1;
            waitFor(fd, POLLIN, deadline, "waiting for the server");
        }
    }

    QUrl cookieUrl(const HttpAddress& address) const {
        QUrl url;
        url.setScheme(QStringLiteral("http"));
        url.setHost(QString::fromLatin1(address.host));
        url.setPort(address.port);
        QByteArray path = address.target;
        const qsizetype query = path.indexOf('?');
        if (query >= 0)
            path.truncate(query);
        url.setPath(QUrl::fromPercentEncoding(path));
        return url;
    }

    QByteArray cookieHeader(const QUrl& url) const {
        QByteArray value;
        const QList<QNetworkCookie> cookies = jar.cookiesForUrl(url);
        for (const QNetworkCookie& cookie : cookies) {
            // A stored cookie never gets to break the request apart.
            if (!safeForHeader(cookie.name()) || !safeForHeader(cookie.value()))
                continue;
            if (!value.isEmpty())
                value += "; ";
            value += cookie.name();
            value += '=';
            value += cookie.value();
        }
        return value;
    }

    void storeCookies(const ResponseParser& parser, const QUrl& url) {
        for (const ResponseParser::Header& h : parser.headers()) {
            const bool v1 = ResponseParser::equalsIgnoreCase(h.first, "Set-Cookie");
            const bool v2 = ResponseParser::equalsIgnoreCase(h.first, "Set-Cookie2");
            if (!v1 && !v2)
                continue;
            const QByteArray value = QByteArray::fromStdString(h.second);
            const QList<QByteArray> parts = v2 ? splitCookie2(value) : QList<QByteArray>{value};
            for (const QByteArray& part : parts) {
                if (!part.isEmpty())
                    jar.setCookiesFromUrl(QNetworkCookie::parseCookies(part), url);
            }
        }
    }

    // A copy that grows by doubling would hold up to twice the body for a moment; room for
    // the announced length, or for the limit when none is announced, is taken once instead
    // (never more than a page's limit up front, whatever limit the caller chose).
    void reserveCopy(const ResponseParser& parser, ScratchFile& file) const {
        const std::uint64_t room = std::uint64_t(std::min(bodyLimit, kPageBodyLimit));
        switch (parser.framing()) {
            case ResponseParser::Framing::ContentLength:
                file.reserveCopy(qint64(std::min(parser.contentLength(), room)));
                break;
            case ResponseParser::Framing::Chunked:
            case ResponseParser::Framing::UntilClose:
                file.reserveCopy(qint64(room));
                break;
            case ResponseParser::Framing::None:
                break;
        }
    }

    enum class Outcome { Complete, Retry };

    // Reads one response. Throws FetchError for a failing one. Retry: the server closed a
    // reused connection before answering, so the request may simply go out again.
    Outcome readResponse(ScratchFile& file, const QUrl& url, bool mayRetry) {
        ResponseParser parser;
        settled = false;
        std::size_t pos = 0;
        std::size_t length = 0;
        bool eof = false;
        QString failure;  // set once the response is known to fail the fetch
        target = nullptr;
        discarded = 0;
        while (true) {
            if (parser.state() == ResponseParser::State::HeadComplete) {
                storeCookies(parser, url);
                const int status = parser.status();
                if (status == 100) {
                    parser.restartAfterInterim();
                } else {
                    const bool hasLocation = parser.header("Location") != nullptr;
                    if (status < 0) {
                        failure = QStringLiteral("No status in \"%1\"")
                                      .arg(QString::fromStdString(parser.statusLine()));
                    } else if ((status >= 300 && status <= 399 && status != 304) ||
                               (status != 201 && hasLocation)) {
                        failure = QStringLiteral("Redirect (%1) not followed").arg(status);
                    } else if (status < 200 || status > 299) {
                        failure = QStringLiteral("HTTP status %1").arg(status);
                    }
                    if (failure.isEmpty()) {
                        target = &file;
                        parser.startBody(status != 204);
                        reserveCopy(parser, file);
                    } else {
                        parser.startBody(status >= 200 && status != 304);
                        // After an interim status or a body without a length, nothing on this
                        // connection can be told apart from the next response.
                        if (status < 200 ||
                            parser.framing() == ResponseParser::Framing::UntilClose) {
                            closeConnection();
                            fetchFailure(failure);
                        }
                    }
                }
            }
            if (parser.failed()) {
                if (mayRetry && eof && parser.nothingReceived())
                    return Outcome::Retry;
                closeConnection();
                fetchFailure(failure.isEmpty() ? QStringLiteral("Bad response: %1")
                                                     .arg(QString::fromStdString(parser.error()))
                                               : failure);
            }
            if (!failure.isEmpty() && discarded > kMaxDiscardedBody) {
                closeConnection();
                fetchFailure(failure);
            }
            if (parser.done())
                break;
            if (pos == length) {
                const ssize_t n = receive();
                if (n < 0) {
                    const int error = errno;
                    if (mayRetry && parser.nothingReceived())
                        return Outcome::Retry;
                    closeConnection();
                    fetchFailure(QStringLiteral("Connection broken: %1").arg(systemReason(error)));
                }
                if (n == 0) {
                    eof = true;
                    parser.finish();
                    continue;
                }
                pos = 0;
                length = std::size_t(n);
            }
            pos += parser.feed(buffer.data() + pos, length - pos, this);
        }
        target = nullptr;
        // Left-over bytes would be read as the start of the next response.
        const bool keep = !eof && pos == length && !parser.headerHasToken("Connection", "close") &&
                          !parser.headerHasToken("Proxy-Connection", "close");
        if (!keep)
            closeConnection();
        settled = true;
        if (!failure.isEmpty())
            fetchFailure(failure);
        return Outcome::Complete;
    }

    void get(const QString& urlText, ScratchFile& file) {
        abortRequested = false;
        fetchDeadline = Clock::now() + fetchTimeout;
        if (!file.isOpen())
            fetchFailure(QStringLiteral("Scratch file \"%1\" is not open").arg(file.path()));
        QString error;
        const std::optional<HttpAddress> address = parseHttpAddress(urlText, &error);
        if (!address)
            fetchFailure(error);
        const QUrl url = cookieUrl(*address);
        const QByteArray request = buildGetRequest(*address, cookieHeader(url));

        if (fd >= 0 && (connHost != address->host || connPort != address->port))
            closeConnection();
        if (fd >= 0 && !idleConnectionUsable())
            closeConnection();
        lastHook = Clock::now();
        settled = false;
        try {
            for (int attempt = 0;; ++attempt) {
                const bool reused = fd >= 0;
                if (!reused)
                    connectTo(*address);
                const bool mayRetry = reused && attempt == 0;
                if (!sendAll(request)) {
                    const int sendError = errno;
                    closeConnection();
                    if (mayRetry)
                        continue;
                    fetchFailure(
                        QStringLiteral("Cannot send the request: %1").arg(systemReason(sendError)));
                }
                if (readResponse(file, url, mayRetry) == Outcome::Complete)
                    return;
                closeConnection();
            }
        } catch (const FetchAborted&) {
            target = nullptr;
            closeConnection();
            throw;
        } catch (...) {
            // A fetch broken off midway leaves the connection in an unknown state.
            target = nullptr;
            if (!settled)
                closeConnection();
            throw;
        }
    }
};

HttpClient::HttpClient() : d(std::make_unique<Impl>()) {}

HttpClient::~HttpClient() {
    d->closeConnection();
}

void HttpClient::Get(const QString& url, ScratchFile& file, qint64 bodyLimit) {
    if (d->busy)
        throw FetchError(QStringLiteral("A fetch is already running"));
    const QScopedValueRollback<bool> busy(d->busy, true);
    d->bodyLimit = std::max<qint64>(bodyLimit, 0);
    if (d->observer)
        d->observer(url);
    d->get(url, file);
}

void HttpClient::requestAbort() {
    d->abortRequested = true;
}

void HttpClient::setResolver(Resolver resolver) {
    d->resolver = std::move(resolver);
}

void HttpClient::setIdleHook(std::function<void()> hook) {
    d->hook = std::move(hook);
}

void HttpClient::setRequestObserver(std::function<void(const QString& url)> observer) {
    d->observer = std::move(observer);
}

void HttpClient::setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds idle,
                             std::chrono::milliseconds fetch) {
    d->connectTimeout = connect;
    d->idleTimeout = idle;
    d->fetchTimeout = fetch;
}

void HttpClient::disconnect() {
    d->closeConnection();
}

int HttpClient::connectionsOpened() const {
    return d->opened;
}
