#include "discovery/related_videos.h"

#include "discovery/perl_regex.h"

QString builtInRelatedPattern() {
    return QStringLiteral(
        R"re(<li class="video-list-item related-list-item">[\s\S]+?v=([^"]*)" class="related-video  yt-uix-sessionlink"[\s\S]+?data-thumb="([^"]*)"[\s\S]+?class="video-time">([^<]*)</span>[\s\S]+?<span dir="ltr" class="title" title="([^"]*)">[^<]*</span>[\d\D]+?<span class="stat view-count">([^<]*)</span>)re");
}

RelatedVideoScan::RelatedVideoScan(TPerlRegEx& matcher, const QString& pattern,
                                   const QByteArray& page)
    : matcher_(matcher) {
    matcher_.SetRegEx(pattern.toUtf8());
    // The matcher shares the bytes rather than copying them, checks them once, and takes a page
    // that is not strict UTF-8 as empty.
    matcher_.SetSubject(page);
}

void RelatedVideoScan::study() {
    matcher_.Study();
}

bool RelatedVideoScan::next(RelatedVideo& out) {
    const bool found = started_ ? matcher_.MatchAgain() : matcher_.Match();
    started_ = true;
    if (!found)
        return false;
    out.id = QString::fromUtf8(matcher_.GetGroups(1));
    out.thumb = QString::fromUtf8(matcher_.GetGroups(2));
    out.length = QString::fromUtf8(matcher_.GetGroups(3));
    out.title = QString::fromUtf8(matcher_.GetGroups(4));
    out.views = QString::fromUtf8(matcher_.GetGroups(5));
    return true;
}
