// Fetch throughput over loopback: the client with its scratch file next to a bare socket loop
// that sends the same GET and reads the same response, and the rate for one large body. Also what
// a server streaming an endless body costs before the body limit ends the fetch.
#include "base/errors.h"
#include "net/http_client.h"
#include "net/http_request.h"
#include "net/scratch_file.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// A listening socket on a free port of 127.0.0.1.
int listenOnLoopback(quint16& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd, 16);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

// Answers every GET on every connection with the same response, keeping connections open.
class LoopbackServer {
  public:
    explicit LoopbackServer(std::size_t bodySize) {
        response_ = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                    std::to_string(bodySize) + "\r\n\r\n" + std::string(bodySize, 'b');
        listen_ = listenOnLoopback(port_);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }

    ~LoopbackServer() {
        stopping_ = true;
        ::shutdown(listen_, SHUT_RDWR);
        acceptor_.join();
        for (int fd : connections_)
            ::shutdown(fd, SHUT_RDWR);
        for (std::thread& t : workers_)
            t.join();
        for (int fd : connections_)
            ::close(fd);
        ::close(listen_);
    }

    std::uint16_t port() const { return port_; }
    QString url(const char* path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(QLatin1String(path));
    }

  private:
    void acceptLoop() {
        while (!stopping_) {
            const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                return;
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            connections_.push_back(fd);
            workers_.emplace_back([this, fd] { serve(fd); });
        }
    }

    void serve(int fd) {
        std::string pending;
        char chunk[8192];
        while (!stopping_) {
            const std::size_t end = pending.find("\r\n\r\n");
            if (end == std::string::npos) {
                const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
                if (n <= 0)
                    return;
                pending.append(chunk, std::size_t(n));
                continue;
            }
            pending.erase(0, end + 4);
            std::size_t sent = 0;
            while (sent < response_.size()) {
                const ssize_t n =
                    ::send(fd, response_.data() + sent, response_.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    return;
                sent += std::size_t(n);
            }
        }
    }

    std::string response_;
    int listen_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::vector<int> connections_;
    std::vector<std::thread> workers_;
};

// Argument 0: scratch file in a temporary folder on disk; 1: in /dev/shm (memory), which shows
// the cost of the file system's truncate-and-rewrite apart from the HTTP exchange.
void BM_ClientGet10KB(benchmark::State& state) {
    LoopbackServer server(10 * 1024);
    QTemporaryDir dir(state.range(0) == 0 ? QDir::tempPath() + QStringLiteral("/bench-XXXXXX")
                                          : QStringLiteral("/dev/shm/bench-XXXXXX"));
    if (!dir.isValid()) {
        state.SkipWithError("no scratch folder");
        return;
    }
    state.SetLabel(state.range(0) == 0 ? "disk" : "memory");
    HttpClient client;
    const QString url = server.url("/watch?v=bench");
    for (auto _ : state) {
        ScratchFile file(dir.path(), QStringLiteral("youtube.0"));
        client.Get(url, file);
        file.close();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["connections"] = client.connectionsOpened();
}
BENCHMARK(BM_ClientGet10KB)->Arg(0)->Arg(1)->UseRealTime();

// The floor: the same request bytes and the same response over one blocking socket, the body
// read and dropped.
void BM_BareSocketGet10KB(benchmark::State& state) {
    LoopbackServer server(10 * 1024);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(server.port());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        state.SkipWithError("connect failed");
        return;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const QByteArray request =
        buildGetRequest(*parseHttpAddress(server.url("/watch?v=bench"), nullptr), QByteArray());
    std::vector<char> buffer(64 * 1024);
    for (auto _ : state) {
        ::send(fd, request.constData(), std::size_t(request.size()), MSG_NOSIGNAL);
        std::string head;
        std::size_t bodyLeft = 0;
        bool inBody = false;
        while (!inBody || bodyLeft > 0) {
            const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (n <= 0) {
                state.SkipWithError("connection lost");
                break;
            }
            if (inBody) {
                bodyLeft -= std::min(bodyLeft, std::size_t(n));
                continue;
            }
            head.append(buffer.data(), std::size_t(n));
            const std::size_t end = head.find("\r\n\r\n");
            if (end == std::string::npos)
                continue;
            const std::size_t at = head.find("Content-Length: ");
            bodyLeft = std::stoul(head.substr(at + 16));
            bodyLeft -= std::min(bodyLeft, head.size() - end - 4);
            inBody = true;
        }
    }
    ::close(fd);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BareSocketGet10KB)->UseRealTime();

void BM_ClientGet30MBIntoScratchFile(benchmark::State& state) {
    // As large as a page may be.
    constexpr std::size_t kSize = 30 * 1000 * 1000;
    LoopbackServer server(kSize);
    QTemporaryDir dir;
    HttpClient client;
    const QString url = server.url("/big");
    for (auto _ : state) {
        ScratchFile file(dir.path(), QStringLiteral("default.0"));
        client.Get(url, file);
        file.close();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * kSize));
}
BENCHMARK(BM_ClientGet30MBIntoScratchFile)->UseRealTime()->Unit(benchmark::kMillisecond);

// Streams a chunked body that never ends to every connection, until the client goes away.
class EndlessServer {
  public:
    EndlessServer() {
        listen_ = listenOnLoopback(port_);
        acceptor_ = std::thread([this] {
            while (!stopping_) {
                const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0)
                    return;
                serve(fd);
                ::close(fd);
            }
        });
    }
    ~EndlessServer() {
        stopping_ = true;
        ::shutdown(listen_, SHUT_RDWR);
        acceptor_.join();
        ::close(listen_);
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/endless").arg(port_); }

  private:
    void serve(int fd) {
        char request[4096];
        if (::recv(fd, request, sizeof request, 0) <= 0)
            return;
        const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
        const std::string chunk = "10000\r\n" + std::string(0x10000, 'e') + "\r\n";
        if (::send(fd, head.data(), head.size(), MSG_NOSIGNAL) <= 0)
            return;
        while (!stopping_) {
            std::size_t sent = 0;
            while (sent < chunk.size()) {
                const ssize_t n =
                    ::send(fd, chunk.data() + sent, chunk.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    return;
                sent += std::size_t(n);
            }
        }
    }

    int listen_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
};

qint64 statusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::stoll(line.substr(std::strlen(field)));
    }
    return -1;
}

// An endless body against the page limit: how long until the fetch fails, the largest the scratch
// file ever got (sampled at every turn of the idle hook), and how far the peak resident set grew.
// Argument 1: the scratch file also keeps a copy in memory, as a caller that skips reading the file
// back would.
void BM_EndlessBodyEndsAtTheLimit(benchmark::State& state) {
    EndlessServer server;
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/bench-XXXXXX"));
    HttpClient client;
    qint64 peakFile = 0;
    QString path;
    client.setIdleHook([&] { peakFile = std::max(peakFile, QFileInfo(path).size()); });
    {
        std::ofstream reset("/proc/self/clear_refs");
        reset << "5";
    }
    const qint64 residentBefore = statusKiB("VmRSS:");
    bool failed = true;
    for (auto _ : state) {
        ScratchFile file(dir.path(), QStringLiteral("youtube.0"));
        if (state.range(0))
            file.keepCopy();
        path = file.path();
        try {
            client.Get(server.url(), file, kPageBodyLimit);
            failed = false;
        } catch (const FetchError&) {
        }
        peakFile = std::max(peakFile, file.size());
        file.close();
    }
    if (!failed)
        state.SkipWithError("the endless body was taken");
    state.counters["peak_file_MiB"] = double(peakFile) / (1024 * 1024);
    state.counters["peak_rss_growth_MiB"] = double(statusKiB("VmHWM:") - residentBefore) / 1024;
    state.counters["limit_MiB"] = double(kPageBodyLimit) / (1024 * 1024);
}
BENCHMARK(BM_EndlessBodyEndsAtTheLimit)
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
