#pragma once

#include "discovery/dig_engine.h"

#include <QString>

#include <atomic>
#include <memory>

// Serves a dig's downloads from up to N keep-alive connections, each its own HttpClient on its own
// thread. The dig still asks for every body in its own order and gets the same bytes; the
// connections only start early on what it said it will ask for next (DigFetcher::expect):
// the thumbnails of the page at hand first, then the pages of the level in order, a bounded
// number ahead. With one connection nothing starts before it is asked for, so the requests go
// out exactly in the dig's order.
//
// The HTTP client writes bodies into files: each connection has one in scratchFolder (which ends
// with a separator), replaced by every fetch; the body is taken from the file's copy in memory.
class PrefetchingFetcher : public DigFetcher {
  public:
    static constexpr int kMaxConnections = 16;

    // interrupt (may be null) is watched while fetches wait; once it is set, every waiting and
    // later fetch ends as Aborted.
    PrefetchingFetcher(int connections, const QString& scratchFolder,
                       const std::atomic<bool>* interrupt = nullptr);
    ~PrefetchingFetcher() override;
    PrefetchingFetcher(const PrefetchingFetcher&) = delete;
    PrefetchingFetcher& operator=(const PrefetchingFetcher&) = delete;

    // Throw AppError when a connection's file cannot be made.
    Outcome fetchPage(const QString& url, QByteArray& body) override;
    Outcome fetchThumbnail(const QString& url, QByteArray& body) override;
    void expect(const QStringList& pages, const QStringList& thumbnails) override;

    // Downloads finished so far (prefetched ones included); safe from any thread.
    qint64 fetchesDone() const;
    // Why the last fetch handed out as Failed failed.
    QString lastFailure() const;
    // Thumbnails handed out as Failed.
    int failedThumbnails() const;

  private:
    struct State;
    Outcome take(const QString& url, bool page, QByteArray& body);

    std::unique_ptr<State> d;
};
