#include "app/site_config.h"

#include "build_config.h"

SiteConfig SiteConfig::fromBuild() {
    return SiteConfig{QStringLiteral(CLIPVANE_VIDEO_HOST), QStringLiteral(CLIPVANE_SHORT_LINK_HOST),
                      QStringLiteral(CLIPVANE_VENDOR_HOST), QStringLiteral(CLIPVANE_PAYMENT_HOST),
                      QStringLiteral(CLIPVANE_DONATION_ACCOUNT)};
}

QString SiteConfig::watchUrlPrefix() const {
    return QStringLiteral("http://") + videoHost + QStringLiteral("/watch?v=");
}

QString SiteConfig::bareWatchUrlPrefix() const {
    QString host = videoHost;
    if (host.startsWith(QLatin1String("www.")))
        host.remove(0, 4);
    return QStringLiteral("http://") + host + QStringLiteral("/watch?v=");
}

QString SiteConfig::homePageAddress() const {
    return QStringLiteral("http://") + videoHost + QLatin1Char('/');
}

QString SiteConfig::shortLinkToken() const {
    return shortLinkHost + QLatin1Char('/');
}

QString SiteConfig::vendorAddress(const QString& path) const {
    return QStringLiteral("http://") + vendorHost + path;
}

QString SiteConfig::vendorWatchAddress(const QString& id) const {
    return QStringLiteral("http://www.") + vendorHost + QStringLiteral("/watch.php?v=") + id;
}
