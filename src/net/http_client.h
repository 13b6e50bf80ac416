#pragma once

#include "net/fetch_limits.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

struct addrinfo;
class ScratchFile;

// The program's one HTTP/1.1 client: plain GET over one persistent TCP connection, a fixed
// set of request headers, an in-memory cookie store, no redirects, no TLS, no compression.
// A fetch blocks its caller; while it waits (name lookup, connect, request, response, a body
// streaming in) it calls the idle hook at least every 16 ms, which the window uses to keep
// painting and to let "Stop" act.
class HttpClient {
  public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Downloads url and writes the body of a successful response into file. A body longer than
    // bodyLimit fails the fetch and leaves the file empty. Throws FetchAborted when
    // requestAbort() broke the fetch off, FetchError for every other outcome.
    void Get(const QString& url, ScratchFile& file, qint64 bodyLimit = kPageBodyLimit);

    // Breaks off the fetch in progress (callable from inside the idle hook): it throws
    // FetchAborted at its next check and drops the connection. The request lapses when the
    // next fetch starts.
    void requestAbort();

    // Called repeatedly while a fetch waits on the network (not between every byte).
    void setIdleHook(std::function<void()> hook);
    // Told the address of every fetch as it starts; for benchmarks and diagnostics.
    void setRequestObserver(std::function<void(const QString& url)> observer);
    void setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds idle,
                     std::chrono::milliseconds fetch = kFetchTimeLimit);

    // The name lookup, getaddrinfo unless replaced (tests make it slow). It runs on a thread of
    // its own, so it must not touch anything but its arguments.
    using Resolver = std::function<int(const char* host, const char* service, const addrinfo* hints,
                                       addrinfo** result)>;
    void setResolver(Resolver resolver);

    // Closes the open connection, if any.
    void disconnect();

    // For tests and benchmarks: how many TCP connections the client has opened so far.
    int connectionsOpened() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
