#include "discovery/dig_engine.h"

#include "discovery/perl_regex.h"

namespace {

QString thumbnailAddress(const RelatedVideo& video) {
    return QStringLiteral("http:") + video.thumb;
}

}  // namespace

DigEngine::DigEngine(TPerlRegEx& matcher, DigFetcher& fetcher, DigListener& listener, bool& stop)
    : matcher_(matcher), fetcher_(fetcher), listener_(listener), stop_(stop) {}

const DigRow* DigEngine::find(const QString& id) const {
    const auto it = index_.constFind(id);
    return it == index_.constEnd() ? nullptr : &rows_[std::size_t(*it)];
}

void DigEngine::run(const QString& startId, int depth, const QString& pattern,
                    const QString& watchPrefix, const DigChoices& choices) {
    choices_ = choices;
    pattern_ = pattern;
    prefix_ = watchPrefix;
    start_ = startId;
    rows_.clear();
    index_.clear();
    edges_.clear();
    pairs_.clear();
    timesListed_.clear();
    level_ = 1;
    failedPages_ = 0;
    reachedMax_ = false;
    finished_ = false;

    const QString address = prefix_ + startId;
    QByteArray page;
    switch (fetcher_.fetchPage(address, page)) {
        case DigFetcher::Outcome::Ok:
            break;
        case DigFetcher::Outcome::Failed:
            listener_.failed(DigListener::Failure::StartPage, address);
            return;
        case DigFetcher::Outcome::Aborted:
            return;
    }
    listener_.startPageLoaded();
    if (addFromPage(startId, page, 1, true) == Step::End)
        return;
    listener_.afterPage();

    for (int level = 2; level <= depth; ++level) {
        level_ = level;
        listener_.levelStarted(level);
        // Rows added during the level lie beyond the ones taken here: the next level explores them.
        const qsizetype n = qsizetype(rows_.size());
        QStringList pages;
        pages.reserve(n);
        for (qsizetype i = n - 1; i >= 0; --i)
            pages << prefix_ + rows_[std::size_t(i)].video.id;
        fetcher_.expect(pages, {});
        for (qsizetype i = n - 1; i >= 0; --i) {
            // Taken by value: adding rows may move the vector.
            const QString id = rows_[std::size_t(i)].video.id;
            if (explore(id, level) == Step::End)
                return;
        }
        if (stop_)
            return;
    }
    finished_ = true;
}

DigEngine::Step DigEngine::explore(const QString& pageId, int level) {
    // Once a stop is asked for, the rest of the level passes without a download.
    if (stop_)
        return Step::Go;
    const QString address = prefix_ + pageId;
    QByteArray page;
    switch (fetcher_.fetchPage(address, page)) {
        case DigFetcher::Outcome::Ok:
            break;
        case DigFetcher::Outcome::Failed:
            listener_.failed(DigListener::Failure::Page, address);
            if (choices_.pageFailureStopsDig)
                stop_ = true;
            else
                ++failedPages_;
            listener_.afterPage();
            return Step::Go;
        case DigFetcher::Outcome::Aborted:
            stop_ = true;
            return Step::End;
    }
    const Step step = addFromPage(pageId, page, level, false);
    if (step == Step::Go)
        listener_.afterPage();
    return step;
}

void DigEngine::noteListing(const QString& pageId, const QString& videoId) {
    if (pairs_.contains({pageId, videoId}))
        return;
    pairs_.insert({pageId, videoId});
    edges_.push_back({pageId, videoId});
    ++timesListed_[videoId];
    const auto it = index_.constFind(videoId);
    if (it != index_.constEnd())
        ++rows_[std::size_t(*it)].timesListed;
}

// Goes through the related videos of one page. End: the dig is over (a stop after a row of the
// start page, a failure that ends it, an aborted fetch, the row limit).
DigEngine::Step DigEngine::addFromPage(const QString& pageId, const QByteArray& page, int level,
                                       bool startPage) {
    std::vector<RelatedVideo> videos;
    {
        RelatedVideoScan scan(matcher_, pattern_, page);
        scan.study();
        for (RelatedVideo video; scan.next(video);)
            videos.push_back(std::move(video));
    }
    const bool skipListed = !(startPage && choices_.startPageKeepsDuplicates);
    if (choices_.fetchThumbnails) {
        QStringList thumbnails;
        QSet<QString> coming;
        for (const RelatedVideo& video : videos) {
            if (skipListed && (index_.contains(video.id) || coming.contains(video.id)))
                continue;
            coming.insert(video.id);
            thumbnails << thumbnailAddress(video);
        }
        fetcher_.expect({}, thumbnails);
    }

    for (RelatedVideo& video : videos) {
        const bool duplicate = index_.contains(video.id);
        listener_.listed(pageId, video.id, duplicate);
        noteListing(pageId, video.id);
        if (duplicate && skipListed)
            continue;
        if (choices_.maxRows >= 0 && qsizetype(rows_.size()) >= choices_.maxRows) {
            reachedMax_ = true;
            return Step::End;
        }
        QByteArray thumbnail;
        if (choices_.fetchThumbnails) {
            const QString address = thumbnailAddress(video);
            switch (fetcher_.fetchThumbnail(address, thumbnail)) {
                case DigFetcher::Outcome::Ok:
                    break;
                case DigFetcher::Outcome::Failed:
                    if (startPage && choices_.startThumbnailFailureEndsDig) {
                        listener_.failed(DigListener::Failure::StartThumbnail, address);
                        return Step::End;
                    }
                    continue;
                case DigFetcher::Outcome::Aborted:
                    stop_ = true;
                    return Step::End;
            }
        }
        DigRow row;
        row.level = level;
        row.foundVia = pageId;
        row.timesListed = timesListed_.value(video.id);
        row.video = std::move(video);
        const qsizetype at = qsizetype(rows_.size());
        if (!duplicate)
            index_.insert(row.video.id, at);
        rows_.push_back(std::move(row));
        listener_.rowAdded(rows_.back(), at, thumbnail);
        listener_.afterRow();
        if (stop_)
            return startPage ? Step::End : Step::Go;
    }
    return Step::Go;
}
