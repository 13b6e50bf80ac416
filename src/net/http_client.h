#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class ScratchFile;

// The program's one HTTP/1.1 client: plain GET over one persistent TCP connection, a fixed
// set of request headers, an in-memory cookie store, no redirects, no TLS, no compression.
// A fetch blocks its caller; while it waits for the network it calls the idle hook, which the
// window uses to keep painting.
class HttpClient {
  public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Downloads url and writes the body of a successful response into file.
    // Throws FetchError for every other outcome.
    void Get(const QString& url, ScratchFile& file);

    // Called repeatedly while a fetch waits on the network (not between every byte).
    void setIdleHook(std::function<void()> hook);
    // Told the address of every fetch as it starts; for benchmarks and diagnostics.
    void setRequestObserver(std::function<void(const QString& url)> observer);
    void setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds idle);

    // Closes the open connection, if any.
    void disconnect();

    // For tests and benchmarks: how many TCP connections the client has opened so far.
    int connectionsOpened() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
