// Cuts identifiers out of arbitrary text. The input is "A\nB\nTEXT": generic_find(TEXT, A, B)
// and find_video_id(TEXT, A) with A as the short-link token. Both must return a piece of the
// text that obeys the rules of the cut.
#include "discovery/video_ref.h"

#include <cstdint>

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

void checkGenericFind(const QString& word, const QString& start, const QString& end) {
    const QString found = generic_find(word, start, end);
    const qsizetype at = start.isEmpty() ? -1 : word.indexOf(start);
    if (at < 0) {
        check(found.isEmpty());
        return;
    }
    // The result begins right after the first start token and runs up to the first end token
    // after it, or to the end of the text.
    const QString rest = word.mid(at + start.size());
    check(rest.startsWith(found));
    if (!end.isEmpty())
        check(!found.contains(end));
    if (found.size() < rest.size())
        check(!end.isEmpty() && rest.mid(found.size()).startsWith(end));
}

void checkFindVideoId(const QString& text, const QString& shortLink) {
    const QString id = find_video_id(text, shortLink);
    if (id.isEmpty())
        return;
    check(text.contains(id));
    // Only "&", a blank or "http" end an identifier, so none of them is ever part of one.
    check(!id.contains(QLatin1Char('&')));
    check(!id.contains(QLatin1Char(' ')));
    check(!id.contains(QLatin1String("http")));
    const bool longForm = text.contains(QLatin1String("watch?v="));
    const bool shortForm = !shortLink.isEmpty() && text.contains(shortLink);
    check(longForm || shortForm);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype first = bytes.indexOf('\n');
    const qsizetype second = first < 0 ? -1 : bytes.indexOf('\n', first + 1);
    if (second < 0)
        return 0;
    const QString a = QString::fromUtf8(bytes.left(first));
    const QString b = QString::fromUtf8(bytes.mid(first + 1, second - first - 1));
    const QString text = QString::fromUtf8(bytes.mid(second + 1));

    checkGenericFind(text, a, b);
    checkGenericFind(text, b, a);
    checkFindVideoId(text, a);
    checkFindVideoId(text, QStringLiteral("youtu.be/"));
    return 0;
}
