#include "support/scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

std::string lowered(std::string s) {
    for (char& c : s)
        c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    return s;
}

const char* reasonPhrase(int code) {
    switch (code) {
        case 100:
            return "Continue";
        case 200:
            return "OK";
        case 201:
            return "Created";
        case 204:
            return "No Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 304:
            return "Not Modified";
        case 401:
            return "Unauthorized";
        case 404:
            return "Not Found";
        case 407:
            return "Proxy Authentication Required";
        case 500:
            return "Internal Server Error";
        default:
            return "Whatever";
    }
}

}  // namespace

ScriptedServer::Reply::Reply(std::string bytes, After after) : after(after) {
    parts.push_back(std::move(bytes));
}

std::string ScriptedServer::Request::target() const {
    const std::size_t first = raw.find(' ');
    if (first == std::string::npos)
        return {};
    const std::size_t second = raw.find(' ', first + 1);
    return raw.substr(first + 1, second == std::string::npos ? second : second - first - 1);
}

bool ScriptedServer::Request::hasHeader(const std::string& name) const {
    const std::string wanted = "\r\n" + lowered(name) + ":";
    return lowered(raw).find(wanted) != std::string::npos;
}

std::string ScriptedServer::Request::header(const std::string& name) const {
    const std::string wanted = "\r\n" + lowered(name) + ":";
    const std::size_t at = lowered(raw).find(wanted);
    if (at == std::string::npos)
        return {};
    std::size_t start = at + wanted.size();
    while (start < raw.size() && raw[start] == ' ')
        ++start;
    return raw.substr(start, raw.find("\r\n", start) - start);
}

ScriptedServer::ScriptedServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 64) != 0)
        throw std::runtime_error(std::string("scripted server: ") + std::strerror(errno));
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
    stopping_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = ::write(stopFd_, &one, sizeof one);
    acceptThread_.join();
    for (std::thread& worker : workers_)
        worker.join();
    ::close(listenFd_);
    ::close(stopFd_);
}

QString ScriptedServer::url(const std::string& path, const std::string& host) const {
    return QString::fromStdString("http://" + host + ":" + std::to_string(port_) + path);
}

void ScriptedServer::push(Reply reply) {
    std::lock_guard lock(mutex_);
    script_.push_back(std::move(reply));
}

void ScriptedServer::setHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

std::vector<ScriptedServer::Request> ScriptedServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

int ScriptedServer::connectionsAccepted() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

bool ScriptedServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

ScriptedServer::Reply ScriptedServer::ok(const std::string& body, const std::string& extraHeaders) {
    return status(200, extraHeaders, body);
}

ScriptedServer::Reply ScriptedServer::status(int code, const std::string& headers,
                                             const std::string& body, After after) {
    std::string bytes = "HTTP/1.1 " + std::to_string(code) + " " + reasonPhrase(code) + "\r\n";
    if (code != 204 && code != 304 &&
        lowered(headers).find("content-length") == std::string::npos &&
        lowered(headers).find("transfer-encoding") == std::string::npos)
        bytes += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    bytes += headers + "\r\n" + body;
    return Reply(std::move(bytes), after);
}

ScriptedServer::Reply ScriptedServer::endless(const std::string& head, const std::string& body,
                                              std::chrono::milliseconds gap) {
    Reply reply;
    reply.parts = {head, body};
    reply.gap = gap;
    reply.endless = true;
    return reply;
}

void ScriptedServer::acceptLoop() {
    while (!stopping_) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard lock(mutex_);
        const int connection = ++connections_;
        workers_.emplace_back([this, fd, connection] { serve(fd, connection); });
        changed_.notify_all();
    }
}

bool ScriptedServer::waitStop(int fd, std::chrono::milliseconds timeout) {
    pollfd fds[2] = {{stopFd_, POLLIN, 0}, {fd, 0, 0}};
    ::poll(fds, fd >= 0 ? 2 : 1, timeout.count() < 0 ? -1 : int(timeout.count()));
    return stopping_;
}

bool ScriptedServer::sendAll(int fd, const std::string& bytes) {
    // Never blocks past the server's stop, even when the client has stopped reading.
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n =
            ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return false;
            pollfd fds[2] = {{fd, POLLOUT, 0}, {stopFd_, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                return false;
            if (fds[1].revents)
                return false;
            continue;
        }
        sent += std::size_t(n);
    }
    return true;
}

void ScriptedServer::serve(int fd, int connection) {
    std::string pending;
    char chunk[16384];
    while (!stopping_) {
        std::size_t end = pending.find("\r\n\r\n");
        if (end == std::string::npos) {
            pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd_, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                break;
            if (fds[1].revents)
                break;
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            pending.append(chunk, std::size_t(n));
            continue;
        }
        Request request{connection, pending.substr(0, end + 4)};
        pending.erase(0, end + 4);
        Reply reply;
        bool scripted = false;
        Handler handler;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            changed_.notify_all();
            if (!script_.empty()) {
                reply = std::move(script_.front());
                script_.pop_front();
                scripted = true;
            } else {
                handler = handler_;
            }
        }
        if (!scripted) {
            if (!handler)
                break;
            reply = handler(request);
        }
        bool broken = false;
        for (std::size_t i = 0; !broken && !stopping_; ++i) {
            if (i >= reply.parts.size() && !(reply.endless && !reply.parts.empty()))
                break;
            const std::string& part = reply.parts[std::min(i, reply.parts.size() - 1)];
            if (i > 0 && reply.gap.count() > 0 && waitStop(-1, reply.gap))
                broken = true;
            else
                broken = !sendAll(fd, part);
        }
        if (broken || reply.after == After::Close)
            break;
        if (reply.after == After::Hang) {
            waitStop(-1, std::chrono::milliseconds(-1));
            break;
        }
    }
    ::close(fd);
}
