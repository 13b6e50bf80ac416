#pragma once

#include "discovery/related_videos.h"

#include <QByteArray>
#include <QHash>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

class TPerlRegEx;

// One listed video as the dig keeps it.
struct DigRow {
    RelatedVideo video;
    int level = 1;        // 1: listed by the start page, 2: added by the first level, ...
    QString foundVia;     // identifier of the page that first listed it
    int timesListed = 0;  // distinct explored pages (the start page included) that listed it
};

// A page listed a video: one edge of the related-videos graph.
struct DigEdge {
    QString source;  // identifier of the explored page
    QString target;  // identifier of the listed video
};

// Where the two ways of digging differ. The window keeps the defaults; a crawl from the command
// line goes on past pages and thumbnails it cannot get.
struct DigChoices {
    // The start page lists a video as often as it occurs; explored pages add only new ones.
    bool startPageKeepsDuplicates = true;
    // A thumbnail that cannot be had on the start page ends the dig (true) or skips that video.
    bool startThumbnailFailureEndsDig = true;
    // A page that cannot be had during a level stops the dig after that level (true), or is
    // skipped and counted.
    bool pageFailureStopsDig = true;
    // Without thumbnails every listed video becomes a row at once.
    bool fetchThumbnails = true;
    // No rows are added beyond this many; reaching it ends the dig. Negative: no limit.
    qsizetype maxRows = -1;
};

// How the dig downloads. Ok fills body; Aborted means the user broke the fetch off.
class DigFetcher {
  public:
    enum class Outcome { Ok, Failed, Aborted };
    virtual ~DigFetcher() = default;
    virtual Outcome fetchPage(const QString& url, QByteArray& body) = 0;
    virtual Outcome fetchThumbnail(const QString& url, QByteArray& body) = 0;
    // The addresses the dig will ask for next, in order (pages of a level, thumbnails of a
    // page). A fetcher may start on them early; the default ignores the hint.
    virtual void expect(const QStringList& pages, const QStringList& thumbnails) {
        Q_UNUSED(pages);
        Q_UNUSED(thumbnails);
    }
};

// What the dig tells its caller as it goes.
class DigListener {
  public:
    enum class Failure { StartPage, StartThumbnail, Page };
    virtual ~DigListener() = default;
    // The start page is in, before its first match is looked at.
    virtual void startPageLoaded() {}
    // A level (2, 3, ...) begins.
    virtual void levelStarted(int level) { Q_UNUSED(level); }
    // A row was added at index; thumbnail holds the downloaded picture (empty without them).
    virtual void rowAdded(const DigRow& row, qsizetype index, const QByteArray& thumbnail) = 0;
    // An explored page listed a video, whether or not it became a row.
    virtual void listed(const QString& page, const QString& video, bool duplicate) {
        Q_UNUSED(page);
        Q_UNUSED(video);
        Q_UNUSED(duplicate);
    }
    virtual void failed(Failure what, const QString& url) {
        Q_UNUSED(what);
        Q_UNUSED(url);
    }
    // After every added row: the place where the caller lets its user act.
    virtual void afterRow() {}
    // After every explored page, whether or not it added a row.
    virtual void afterPage() {}
};

// Runs a whole dig: the start page, then level by level every listed row from the newest to the
// oldest. Knows nothing of windows; the caller's stop flag is read between steps and set when a
// failure ends the dig after its level.
class DigEngine {
  public:
    DigEngine(TPerlRegEx& matcher, DigFetcher& fetcher, DigListener& listener, bool& stop);

    // pattern: the related-video pattern; watchPrefix + identifier gives a page's address.
    // Errors of the matcher or of the caller's listener leave as exceptions.
    void run(const QString& startId, int depth, const QString& pattern, const QString& watchPrefix,
             const DigChoices& choices = {});

    // Explores one more page within the running (or last) dig, at its current level.
    void explorePage(const QString& pageId) { explore(pageId, level_); }

    const QString& startId() const { return start_; }
    // The level being explored: 1 while the start page is read.
    int level() const { return level_; }
    const std::vector<DigRow>& rows() const { return rows_; }
    // Each (page, video) pair once, in the order first seen.
    const std::vector<DigEdge>& edges() const { return edges_; }
    // The row of an identifier, or nullptr.
    const DigRow* find(const QString& id) const;
    // Pages that could not be had and were skipped (only when failures do not stop the dig).
    int failedPages() const { return failedPages_; }
    bool reachedMaxRows() const { return reachedMax_; }
    bool finished() const { return finished_; }

  private:
    enum class Step { Go, End };
    Step explore(const QString& pageId, int level);
    Step addFromPage(const QString& pageId, const QByteArray& page, int level, bool startPage);
    void noteListing(const QString& pageId, const QString& videoId);

    TPerlRegEx& matcher_;
    DigFetcher& fetcher_;
    DigListener& listener_;
    bool& stop_;
    DigChoices choices_;
    QString pattern_;
    QString prefix_;
    QString start_;
    std::vector<DigRow> rows_;
    QHash<QString, qsizetype> index_;  // identifier -> first row holding it
    std::vector<DigEdge> edges_;
    QSet<QPair<QString, QString>> pairs_;  // (page, video) pairs seen
    QHash<QString, int> timesListed_;      // video -> distinct pages that listed it
    int level_ = 1;
    int failedPages_ = 0;
    bool reachedMax_ = false;
    bool finished_ = false;
};
