#include "panes/donation.h"

QString encodeRecipient(const QString& account) {
    static constexpr char kHex[] = "0123456789abcdef";
    QString out;
    const QByteArray bytes = account.toUtf8();
    out.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        const bool plain =
            (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '_';
        if (plain) {
            out += QLatin1Char(c);
        } else {
            out += QLatin1Char('%');
            out += QLatin1Char(kHex[b >> 4]);
            out += QLatin1Char(kHex[b & 0x0f]);
        }
    }
    return out;
}

QString paymentUrl(const QString& paymentHost, const QString& account, int amount) {
    return QStringLiteral("https://") + paymentHost +
           QStringLiteral("/cgi-bin/webscr?cmd=_xclick") + QStringLiteral("&business=") +
           encodeRecipient(account) +
           QStringLiteral("&item_name=Make%20A%20Donation&item_number=Clipvane&no_shipping=0") +
           QStringLiteral("&amount=") + QString::number(amount) +
           QStringLiteral(
               "&no_note=1&tax=0&currency_code=USD&lc=US&bn=PP%2dDonationsBF&charset=UTF%2d8");
}
