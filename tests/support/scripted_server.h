#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A loopback HTTP server for tests that answers with raw, scripted bytes and records the exact
// bytes of every request it receives.
//
//   ScriptedServer server;                       // listens on 127.0.0.1, port chosen by the system
//   server.push(ScriptedServer::ok("hello"));    // answer to the next request
//   server.push({"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(600, 'x'),
//                ScriptedServer::After::Close}); // a body cut off by the server
//   server.push(ScriptedServer::endless("HTTP/1.1 200 OK\r\n\r\n", "x", 10ms));  // a trickle
//   client.Get(server.url("/watch?v=1"), file);
//   server.requests()[0].raw                     // "GET /watch?v=1 HTTP/1.1\r\n..."
//
// Every accepted connection is served by its own thread. A request is everything up to the
// first empty line (GET requests carry no body). Each request takes the next scripted Reply, in
// order, whichever connection it came on; when the script is empty the handler (if any) makes
// the reply (it runs on the connection's thread, without the server's lock held), otherwise
// the connection is closed without an answer.
//
// The server stops, closing every connection, when it is destroyed.
class ScriptedServer {
  public:
    enum class After {
        KeepOpen,  // wait for the next request on the same connection
        Close,     // close the connection once the reply is written
        Hang,      // send the reply, then neither read nor close until the server stops
    };

    struct Reply {
        Reply() = default;
        Reply(std::string bytes, After after = After::KeepOpen);
        // Written one after the other, with gap between parts (to stream slowly).
        std::vector<std::string> parts;
        std::chrono::milliseconds gap{0};
        // Once the parts are out, the last one goes again and again, until the client goes
        // away or the server stops: an endless body, or with a gap a trickle.
        bool endless = false;
        After after = After::KeepOpen;
    };

    struct Request {
        int connection = 0;  // 1 for the first accepted connection, and so on
        std::string raw;     // exact bytes, ending with the empty line
        // The request target of the request line ("/watch?v=1").
        std::string target() const;
        // Value of the first header of that name (letter case ignored); "" when absent.
        std::string header(const std::string& name) const;
        bool hasHeader(const std::string& name) const;
    };

    using Handler = std::function<Reply(const Request&)>;

    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t port() const { return port_; }
    // "http://" + host + ":" + port + path; host defaults to the loopback address.
    QString url(const std::string& path, const std::string& host = "127.0.0.1") const;

    void push(Reply reply);
    void setHandler(Handler handler);

    std::vector<Request> requests() const;
    int connectionsAccepted() const;
    // Waits (up to timeout) until that many requests have arrived; false on time-out.
    bool waitForRequests(std::size_t count,
                         std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

    // "HTTP/1.1 200 OK" with Content-Length and the body.
    static Reply ok(const std::string& body, const std::string& extraHeaders = "");
    // "HTTP/1.1 <status> <reason>" with the given header lines (each ending in CR LF) and body.
    static Reply status(int code, const std::string& headers, const std::string& body = "",
                        After after = After::KeepOpen);
    // head, then body written again and again (with gap between) until the client goes away.
    static Reply endless(const std::string& head, const std::string& body,
                         std::chrono::milliseconds gap = std::chrono::milliseconds(0));

  private:
    void acceptLoop();
    void serve(int fd, int connection);
    bool sendAll(int fd, const std::string& bytes);
    bool waitStop(int fd, std::chrono::milliseconds timeout);

    int listenFd_ = -1;
    int stopFd_ = -1;  // eventfd, readable once the server stops
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<Reply> script_;
    Handler handler_;
    std::vector<Request> requests_;
    int connections_ = 0;
    std::vector<std::thread> workers_;
};
