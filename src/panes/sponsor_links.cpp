#include "panes/sponsor_links.h"

#include <QUrl>

bool shouldHandOff(const QString& url) {
    return url.contains(QLatin1String("tid="), Qt::CaseSensitive);
}

bool isSafeExternalUrl(const QString& url) {
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.host().isEmpty())
        return false;
    const QString scheme = parsed.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}
