// Scans an arbitrary page with the built-in pattern, as a dig does. Pages that are not strict
// UTF-8 must give nothing (the engine's own check decides what strict means here), and every
// match must be cut from the page within its item and its groups' character classes.
#include "discovery/perl_regex.h"
#include "discovery/related_videos.h"

#include <pcre2.h>

#include <cstdint>

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

// PCRE2 checks the subject itself unless told not to; a negative UTF-8 error code means that it
// found the bytes malformed.
bool engineCallsValid(const QByteArray& page) {
    static pcre2_code* const code = [] {
        int error = 0;
        PCRE2_SIZE offset = 0;
        return pcre2_compile(reinterpret_cast<PCRE2_SPTR>("x"), 1, PCRE2_UTF, &error, &offset,
                             nullptr);
    }();
    static pcre2_match_data* const matchData = pcre2_match_data_create(1, nullptr);
    const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(page.constData()),
                               static_cast<PCRE2_SIZE>(page.size()), 0, 0, matchData, nullptr);
    return !(rc <= PCRE2_ERROR_UTF8_ERR1 && rc >= PCRE2_ERROR_UTF8_ERR21);
}

void checkGroup(const QString& group, const QString& page, QChar excluded) {
    check(!group.contains(excluded));
    check(page.contains(group));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One matcher for the whole run, as the window keeps one: the pattern compiles once.
    static TPerlRegEx matcher;
    static const QString pattern = builtInRelatedPattern();
    static const QByteArray itemStart = "<li class=\"video-list-item related-list-item\">";

    const QByteArray page(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const bool valid = engineCallsValid(page);
    check(valid == isStrictUtf8(page.constData(), page.size()));

    RelatedVideoScan scan(matcher, pattern, page);
    scan.study();
    const QString text = valid ? QString::fromUtf8(page) : QString();
    const qsizetype items = page.count(itemStart);
    qsizetype matches = 0;
    for (RelatedVideo v; scan.next(v);) {
        check(valid);
        ++matches;
        check(matches <= items);
        checkGroup(v.id, text, QLatin1Char('"'));
        checkGroup(v.thumb, text, QLatin1Char('"'));
        checkGroup(v.length, text, QLatin1Char('<'));
        checkGroup(v.title, text, QLatin1Char('"'));
        checkGroup(v.views, text, QLatin1Char('<'));
    }
    return 0;
}
