// Reads arbitrary bytes as the remote configuration. Whatever the encoding, no line may hold a
// line ending, and the lines written back out as UTF-8 must read back as the same lines.
#include "app/remote_config.h"

#include <cstdint>

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

bool holdsLineEnding(const QString& line) {
    return line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList lines = readConfigLines(bytes);

    qsizetype characters = 0;
    bool survivesUtf8 = true;
    for (const QString& line : lines) {
        check(!holdsLineEnding(line));
        characters += line.size();
        // A line with a lone surrogate cannot be written as UTF-8 unchanged.
        survivesUtf8 = survivesUtf8 && QString::fromUtf8(line.toUtf8()) == line;
    }
    // Every character of a line came from at least one byte; every line ending took one.
    check(characters + lines.size() <= static_cast<qsizetype>(size) + 1);

    if (survivesUtf8) {
        QByteArray rewritten("\xEF\xBB\xBF");
        rewritten += lines.join(QLatin1Char('\n')).toUtf8();
        // An empty last line leaves no trace once its ending is gone.
        QStringList expected = lines;
        if (!expected.isEmpty() && expected.last().isEmpty())
            expected.removeLast();
        check(readConfigLines(rewritten) == expected);
    }

    const QString caption = QStringLiteral("Clipvane 2.0");
    const QString builtIn = QStringLiteral("builtin");
    const RemoteConfigOutcome outcome = evaluateRemoteConfig(lines, caption, builtIn);
    check(outcome.keepSponsor == (lines.size() >= 3));
    check(outcome.versionCheck == (lines.size() >= 2));
    check(outcome.regx == (lines.size() >= 2 ? lines[1] : builtIn));
    check(outcome.outdated == (lines.size() >= 2 && lines[0] != caption));
    return 0;
}
