#include "app/remote_config.h"

#include <QStringDecoder>

static QString decodeConfig(const QByteArray& bytes) {
    const auto startsWith = [&bytes](std::initializer_list<unsigned char> bom) {
        if (bytes.size() < static_cast<qsizetype>(bom.size()))
            return false;
        qsizetype i = 0;
        for (const unsigned char b : bom) {
            if (static_cast<unsigned char>(bytes[i++]) != b)
                return false;
        }
        return true;
    };
    if (startsWith({0xEF, 0xBB, 0xBF}))
        return QString::fromUtf8(bytes.mid(3));
    if (startsWith({0xFF, 0xFE})) {
        QStringDecoder decoder(QStringDecoder::Utf16LE);
        return decoder(bytes.mid(2));
    }
    if (startsWith({0xFE, 0xFF})) {
        QStringDecoder decoder(QStringDecoder::Utf16BE);
        return decoder(bytes.mid(2));
    }
    return QString::fromLocal8Bit(bytes);
}

QStringList readConfigLines(const QByteArray& bytes) {
    const QString text = decodeConfig(bytes);
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < size && text[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines.append(text.mid(start));
    return lines;
}

RemoteConfigOutcome evaluateRemoteConfig(const QStringList& lines, const QString& caption,
                                         const QString& builtInPattern) {
    RemoteConfigOutcome outcome{builtInPattern, false, false, lines.size() >= 3};
    if (lines.size() >= 2) {
        outcome.regx = lines[1];
        outcome.versionCheck = true;
        outcome.outdated = lines[0] != caption;
    }
    return outcome;
}
