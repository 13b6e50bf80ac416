#include "discovery/feel_lucky.h"

#include "discovery/perl_regex.h"
#include "discovery/video_ref.h"

#include <QStringDecoder>

QString decodePageText(const QByteArray& bytes) {
    if (!isStrictUtf8(bytes.constData(), bytes.size()))
        return QString();
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

QString pickLuckyReference(const QString& page, int lucky) {
    static const QString kToken = QStringLiteral("watch?v=");
    // Each pass skips the token and the three characters after it, so a reference that starts
    // inside those three characters is passed over as well.
    constexpr qsizetype kSkipAfterToken = 3;
    qsizetype from = 0;
    qsizetype picked = -1;
    for (int i = 0; i <= lucky; ++i) {
        const qsizetype at = page.indexOf(kToken, from);
        if (at < 0)
            break;
        picked = at;
        from = at + kToken.size() + kSkipAfterToken;
    }
    if (picked < 0)
        return QString();
    return generic_find(page.mid(picked), kToken, QStringLiteral("\""));
}
