#include "results/ordering.h"

#include "base/errors.h"
#include "discovery/video_ref.h"
#include "results/result_model.h"

#include <limits>

namespace {

bool isSeparatorBlank(QChar c) {
    return c.unicode() >= 0x0001 && c.unicode() <= 0x0020;
}

// Decimal digits after at most one sign, nothing else; the value must fit T.
template <typename T>
std::optional<T> parseDecimal(QStringView text) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    // Accumulate towards the sign so that the most negative value fits too.
    T value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const T digit = static_cast<T>(c - u'0');
        if (negative) {
            if (value < (std::numeric_limits<T>::min() + digit) / 10)
                return std::nullopt;
            value = value * 10 - digit;
        } else {
            if (value > (std::numeric_limits<T>::max() - digit) / 10)
                return std::nullopt;
            value = value * 10 + digit;
        }
    }
    return value;
}

// Length texts have a handful of parts; a long run of parts must not overflow into nonsense.
qint64 saturatingMulAdd(qint64 acc, qint64 factor, qint64 add) {
    qint64 product = 0;
    qint64 sum = 0;
    if (__builtin_mul_overflow(acc, factor, &product))
        return (acc < 0) ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
    if (__builtin_add_overflow(product, add, &sum))
        return (add < 0) ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
    return sum;
}

QStringList splitLengthParts(const QString& text) {
    QStringList parts;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && isSeparatorBlank(text[i]))
        ++i;
    while (i < n) {
        const qsizetype start = i;
        while (i < n && !isSeparatorBlank(text[i]) && text[i] != u':')
            ++i;
        parts.append(text.mid(start, i - start));
        while (i < n && isSeparatorBlank(text[i]))
            ++i;
        if (i < n && text[i] == u':') {
            if (i + 1 == n)
                parts.append(QString());
            ++i;
            while (i < n && isSeparatorBlank(text[i]))
                ++i;
        }
    }
    return parts;
}

int sign(qint64 v) {
    return v > 0 ? 1 : (v < 0 ? -1 : 0);
}

// Ties answer "first stands first" on purpose: the list has always sorted that way.
int greaterOrBefore(qint64 t1, qint64 t2) {
    return t1 > t2 ? 1 : -1;
}

}  // namespace

int compareTitles(const QString& a, const QString& b) {
    const qsizetype n = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        char16_t ca = a[i].unicode();
        char16_t cb = b[i].unicode();
        if (ca >= u'a' && ca <= u'z')
            ca -= u'a' - u'A';
        if (cb >= u'a' && cb <= u'z')
            cb -= u'a' - u'A';
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return sign(qint64(a.size()) - qint64(b.size()));
}

qint64 lengthKey(const QString& text) {
    const QStringList parts = splitLengthParts(text);
    qint64 key = 0;
    for (const QString& part : parts) {
        const std::optional<qint32> value = parseDecimal<qint32>(part);
        if (!value)
            throw AppError(QStringLiteral("'%1' is not a valid integer value").arg(part));
        key = saturatingMulAdd(key, 60, *value);
    }
    return key;
}

std::optional<qint64> viewCountKey(const QString& text) {
    // Only blanks and control characters are trimmed, not every Unicode space.
    QStringView trimmed(text);
    while (!trimmed.isEmpty() && trimmed.front().unicode() <= 0x0020)
        trimmed = trimmed.mid(1);
    while (!trimmed.isEmpty() && trimmed.back().unicode() <= 0x0020)
        trimmed.chop(1);
    QString word =
        generic_find(QStringLiteral("&").append(trimmed), QStringLiteral("&"), QStringLiteral(" "));
    word.remove(QLatin1Char(','));
    QStringView digits(word);
    while (!digits.isEmpty() && digits.front() == u' ')
        digits = digits.mid(1);
    return parseDecimal<qint64>(digits);
}

int compareRows(const ResultRow& a, const ResultRow& b, int nSortCol, bool bsort) {
    int answer = 0;
    switch (nSortCol) {
        case 1:
            answer = compareTitles(a.title, b.title);
            break;
        case 2: {
            // Item1's text is converted first, so an error names it when both fail.
            const qint64 t1 = lengthKey(a.length);
            const qint64 t2 = lengthKey(b.length);
            answer = greaterOrBefore(t1, t2);
            break;
        }
        case 3: {
            qint64 t1 = 0;
            qint64 t2 = 0;
            // The first failure ends the conversions: a failed Item1 leaves both keys at 0.
            if (const auto k1 = viewCountKey(a.views)) {
                t1 = *k1;
                if (const auto k2 = viewCountKey(b.views))
                    t2 = *k2;
            }
            answer = greaterOrBefore(t1, t2);
            break;
        }
        default:
            return 0;
    }
    return bsort ? -answer : answer;
}

void mergeSortIndices(std::vector<int>& order, const std::function<int(int, int)>& compare) {
    const size_t n = order.size();
    if (n < 2)
        return;
    // Bottom-up merges between two buffers; order is only replaced once every merge is done,
    // so a comparison that throws leaves it as it was.
    std::vector<int> from = order;
    std::vector<int> to(n);
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            const size_t mid = std::min(lo + width, n);
            const size_t hi = std::min(lo + 2 * width, n);
            size_t l = lo;
            size_t r = mid;
            size_t out = lo;
            while (l < mid && r < hi) {
                if (compare(from[l], from[r]) > 0)
                    to[out++] = from[r++];
                else
                    to[out++] = from[l++];
            }
            while (l < mid)
                to[out++] = from[l++];
            while (r < hi)
                to[out++] = from[r++];
        }
        from.swap(to);
    }
    order.swap(from);
}
