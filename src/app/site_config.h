#pragma once

#include <QString>

// The hosts the program talks to. Fixed at build time (CMake cache variables CLIPVANE_*);
// tests build their own to point at servers they start on the loopback interface.
struct SiteConfig {
    QString videoHost;        // may carry a port: "localhost:18080"
    QString shortLinkHost;    // "youtu.be"
    QString vendorHost;       // may carry a port
    QString paymentHost;      // "www.paypal.com"
    QString donationAccount;  // e-mail address of the recipient

    static SiteConfig fromBuild();

    // "http://" + video host + "/watch?v="
    QString watchUrlPrefix() const;
    // The same with a leading "www." label of the video host dropped.
    QString bareWatchUrlPrefix() const;
    // "http://" + video host + "/"
    QString homePageAddress() const;
    // Short-link host + "/"
    QString shortLinkToken() const;
    // "http://" + vendor host + path, path starting with "/"
    QString vendorAddress(const QString& path) const;
    // "http://www." + vendor host + "/watch.php?v=" + id
    QString vendorWatchAddress(const QString& id) const;
};
