#include "discovery/perl_regex.h"

#include "base/errors.h"

#include <pcre2.h>

#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// Room for the whole match and 99 groups; a match that sets a higher group does not fit, which
// the engine reports as a zero count and the search takes as no match.
constexpr uint32_t kOffsetPairs = 100;

// A repeated group such as "(?:.|\n)+?" takes JIT stack for every character it crosses, and
// the engine's 32 KiB default is used up within one item of a page. Searches that still run out
// are repeated on the interpreter, which keeps its frames on the heap.
constexpr PCRE2_SIZE kJitStackStart = 32 * 1024;
constexpr PCRE2_SIZE kJitStackMax = 1024 * 1024;

QString engineMessage(int code) {
    PCRE2_UCHAR buffer[256];
    const int length = pcre2_get_error_message(code, buffer, sizeof buffer);
    if (length < 0)
        return QStringLiteral("error %1").arg(code);
    return QString::fromUtf8(reinterpret_cast<const char*>(buffer), length);
}

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

qsizetype utf8Width(unsigned char lead) {
    if (lead < 0xC0)
        return 1;
    if (lead < 0xE0)
        return 2;
    if (lead < 0xF0)
        return 3;
    return 4;
}

// Pages are mostly ASCII markup: skip it many bytes at a time, up to the first byte that is not.
const unsigned char* skipAscii(const unsigned char* p, const unsigned char* end) {
#ifdef __SSE2__
    while (end - p >= 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(a)) |
                              static_cast<unsigned>(_mm_movemask_epi8(b)) << 16;
        if (mask != 0)
            return p + __builtin_ctz(mask);
        p += 32;
    }
#endif
    while (end - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, sizeof word);
        word &= 0x8080808080808080ULL;
        if (word != 0)
            return p + __builtin_ctzll(word) / 8;
        p += 8;
    }
    while (p < end && *p < 0x80)
        ++p;
    return p;
}

}  // namespace

bool isStrictUtf8(const char* data, qsizetype size) {
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const auto* const end = p + size;
    while (p < end) {
        p = skipAscii(p, end);
        if (p == end)
            break;
        const unsigned char lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        qsizetype width;
        if (lead < 0xC2) {
            return false;  // a stray continuation byte, or an overlong two-byte form
        } else if (lead < 0xE0) {
            width = 2;
        } else if (lead < 0xF0) {
            width = 3;
            if (lead == 0xE0)
                low = 0xA0;  // overlong
            else if (lead == 0xED)
                high = 0x9F;  // surrogates
        } else if (lead < 0xF5) {
            width = 4;
            if (lead == 0xF0)
                low = 0x90;  // overlong
            else if (lead == 0xF4)
                high = 0x8F;  // beyond U+10FFFF
        } else {
            return false;
        }
        if (end - p < width || p[1] < low || p[1] > high)
            return false;
        for (qsizetype k = 2; k < width; ++k) {
            if (!isContinuation(p[k]))
                return false;
        }
        p += width;
    }
    return true;
}

struct TPerlRegEx::Impl {
    QByteArray pattern;
    pcre2_code* code = nullptr;
    int compileCount = 0;
    JitCompiler jit = [](pcre2_code* c, uint32_t options) { return pcre2_jit_compile(c, options); };
    // The JIT could not have memory for this compiled pattern: not tried again for every page.
    bool interpreterOnly = false;

    pcre2_compile_context* compileContext = nullptr;
    pcre2_match_context* matchContext = nullptr;
    pcre2_jit_stack* jitStack = nullptr;
    pcre2_match_data* matchData = nullptr;

    QByteArray subject;
    qsizetype nextStart = 0;
    int groupsSet = 0;  // the engine's count for the last search; 0 after no match

    void discardCode() {
        pcre2_code_free(code);
        code = nullptr;
        interpreterOnly = false;
        groupsSet = 0;
    }

    bool search(qsizetype start);
};

TPerlRegEx::TPerlRegEx() : d(std::make_unique<Impl>()) {
    // The engine's built-in character tables: tables made at run time would follow the locale
    // that Qt installs, and the pattern's classes would change meaning from one machine to the
    // next.
    d->compileContext = pcre2_compile_context_create(nullptr);
    pcre2_set_newline(d->compileContext, PCRE2_NEWLINE_ANY);
    d->matchContext = pcre2_match_context_create(nullptr);
    d->jitStack = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
    if (d->jitStack)
        pcre2_jit_stack_assign(d->matchContext, nullptr, d->jitStack);
    d->matchData = pcre2_match_data_create(kOffsetPairs, nullptr);
}

TPerlRegEx::~TPerlRegEx() {
    pcre2_code_free(d->code);
    pcre2_match_data_free(d->matchData);
    pcre2_jit_stack_free(d->jitStack);
    pcre2_match_context_free(d->matchContext);
    pcre2_compile_context_free(d->compileContext);
}

void TPerlRegEx::SetRegEx(const QByteArray& pattern) {
    if (pattern == d->pattern)
        return;
    d->pattern = pattern;
    d->discardCode();
}

void TPerlRegEx::SetSubject(const QByteArray& subject) {
    // Checked once here, so that every search can skip the engine's own check of the subject.
    d->subject = isStrictUtf8(subject.constData(), subject.size()) ? subject : QByteArray();
    d->nextStart = 0;
    d->groupsSet = 0;
}

void TPerlRegEx::Compile() {
    if (d->pattern.isEmpty()) {
        throw AppError(QStringLiteral(
            "TPerlRegEx.Compile() - Please specify a regular expression in RegEx first"));
    }
    d->discardCode();
    int error = 0;
    PCRE2_SIZE offset = 0;
    d->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(d->pattern.constData()),
                            static_cast<PCRE2_SIZE>(d->pattern.size()), PCRE2_UTF, &error, &offset,
                            d->compileContext);
    if (!d->code) {
        throw AppError(QStringLiteral("TPerlRegEx.Compile() - Error in regex at offset %1: %2")
                           .arg(static_cast<qulonglong>(offset))
                           .arg(engineMessage(error)));
    }
    ++d->compileCount;
}

void TPerlRegEx::Study() {
    if (!d->code)
        Compile();
    if (d->interpreterOnly)
        return;
    // Repeated calls on the same compiled pattern return at once: the machine code is kept.
    const int rc = d->jit(d->code, PCRE2_JIT_COMPLETE);
    // A build without JIT support says so with JIT_BADOPTION; a system that refuses executable
    // memory (SELinux deny_execmem, PaX, MemoryDenyWriteExecute) or has no memory left, with
    // NOMEMORY. The interpreter then finds the same matches, only slower.
    if (rc == PCRE2_ERROR_JIT_BADOPTION || rc == PCRE2_ERROR_NOMEMORY) {
        d->interpreterOnly = true;
        return;
    }
    if (rc != 0) {
        throw AppError(QStringLiteral("TPerlRegEx.Study() - Error studying the regex: ") +
                       engineMessage(rc));
    }
}

void TPerlRegEx::setJitCompiler(JitCompiler jit) {
    d->jit = std::move(jit);
}

bool TPerlRegEx::Impl::search(qsizetype start) {
    groupsSet = 0;
    const qsizetype size = subject.size();
    const auto* bytes = reinterpret_cast<const unsigned char*>(subject.constData());
    if (start > size)
        return false;
    // A pattern using \C can end a match inside a character; starting there unchecked would be
    // undefined behaviour in the engine, which with its check would refuse the offset as well.
    if (start < size && isContinuation(bytes[start])) {
        nextStart = size + 1;
        return false;
    }
    const auto run = [&](uint32_t extra) {
        return pcre2_match(code, bytes, static_cast<PCRE2_SIZE>(size),
                           static_cast<PCRE2_SIZE>(start),
                           PCRE2_NOTEMPTY | PCRE2_NO_UTF_CHECK | extra, matchData, matchContext);
    };
    int rc = run(0);
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT)
        rc = run(PCRE2_NO_JIT);
    if (rc <= 0) {
        nextStart = size + 1;
        return false;
    }
    groupsSet = rc;
    const PCRE2_SIZE end = pcre2_get_ovector_pointer(matchData)[1];
    if (end > static_cast<PCRE2_SIZE>(start))
        nextStart = static_cast<qsizetype>(end);
    else  // cannot happen with not-empty in force; still, the loop must always advance
        nextStart = start < size ? start + utf8Width(bytes[start]) : size + 1;
    return true;
}

bool TPerlRegEx::Match() {
    if (!d->code)
        Compile();
    return d->search(0);
}

bool TPerlRegEx::MatchAgain() {
    if (!d->code)
        Compile();
    return d->search(d->nextStart);
}

QByteArray TPerlRegEx::GetGroups(int n) const {
    if (n < 0 || n >= d->groupsSet)
        return QByteArray();
    const PCRE2_SIZE* offsets = pcre2_get_ovector_pointer(d->matchData);
    const PCRE2_SIZE from = offsets[2 * n];
    const PCRE2_SIZE to = offsets[2 * n + 1];
    if (from == PCRE2_UNSET || to <= from)
        return QByteArray();
    return QByteArray(d->subject.constData() + from, static_cast<qsizetype>(to - from));
}

bool TPerlRegEx::compiled() const {
    return d->code != nullptr;
}

int TPerlRegEx::compileCount() const {
    return d->compileCount;
}
