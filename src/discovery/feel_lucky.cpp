#include "discovery/feel_lucky.h"

#include "discovery/video_ref.h"

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
