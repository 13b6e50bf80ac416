#include "net/http_request.h"

#include <QUrl>

namespace {

bool isHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

}  // namespace

QByteArray encodeRequestTarget(const QByteArray& utf8) {
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(utf8.size());
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        } else {
            out += ch;
        }
    }
    return out;
}

std::optional<HttpAddress> parseHttpAddress(const QString& url, QString* error) {
    auto reject = [error](const QString& why) -> std::optional<HttpAddress> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QByteArray bytes = url.toUtf8();
    const qsizetype schemeEnd = bytes.indexOf("://");
    if (schemeEnd <= 0)
        return reject(QStringLiteral("not an http address: %1").arg(url));
    const QByteArray scheme = bytes.left(schemeEnd).toLower();
    if (scheme == "https")
        return reject(QStringLiteral("https is not supported: %1").arg(url));
    if (scheme != "http")
        return reject(QStringLiteral("unsupported scheme: %1").arg(url));

    const qsizetype authorityStart = schemeEnd + 3;
    qsizetype authorityEnd = authorityStart;
    while (authorityEnd < bytes.size() && bytes[authorityEnd] != '/' &&
           bytes[authorityEnd] != '?' && bytes[authorityEnd] != '#')
        ++authorityEnd;
    QByteArray authority = bytes.mid(authorityStart, authorityEnd - authorityStart);
    // Credentials in an address are never sent.
    const qsizetype at = authority.lastIndexOf('@');
    if (at >= 0)
        authority.remove(0, at + 1);

    HttpAddress address;
    QByteArray host = authority;
    const qsizetype colon = authority.lastIndexOf(':');
    if (colon >= 0) {
        host = authority.left(colon);
        const QByteArray portText = authority.mid(colon + 1);
        if (!portText.isEmpty()) {
            bool ok = false;
            const uint port = portText.toUInt(&ok);
            if (!ok || port == 0 || port > 65535 || portText.startsWith('+'))
                return reject(QStringLiteral("bad port: %1").arg(url));
            address.port = quint16(port);
        }
    }
    bool ascii = true;
    for (char c : host)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (!ascii)
        host = QUrl::toAce(QString::fromUtf8(host));
    if (host.isEmpty())
        return reject(QStringLiteral("no host: %1").arg(url));
    for (char c : host) {
        if (!isHostChar(c))
            return reject(QStringLiteral("bad host name: %1").arg(url));
    }
    address.host = host;

    qsizetype targetEnd = bytes.indexOf('#', authorityEnd);
    if (targetEnd < 0)
        targetEnd = bytes.size();
    QByteArray target = bytes.mid(authorityEnd, targetEnd - authorityEnd);
    if (!target.startsWith('/'))
        target.prepend('/');
    address.target = encodeRequestTarget(target);
    return address;
}

QByteArray hostHeaderValue(const HttpAddress& address) {
    if (address.port == 80)
        return address.host;
    return address.host + ':' + QByteArray::number(address.port);
}

QByteArray buildGetRequest(const HttpAddress& address, const QByteArray& cookies) {
    QByteArray request;
    request.reserve(320 + address.target.size() + cookies.size());
    request += "GET ";
    request += address.target;
    request +=
        " HTTP/1.1\r\n"
        "Content-Type: text/html\r\n"
        "Host: ";
    request += hostHeaderValue(address);
    request +=
        "\r\n"
        "Accept: text/html, */*\r\n"
        "Accept-Encoding: identity\r\n"
        "User-Agent: Mozilla/5.0 (Windows NT 5.1; rv:14.0) Gecko/20100101 Firefox/14.0.1\r\n";
    if (!cookies.isEmpty()) {
        request += "Cookie: ";
        request += cookies;
        request += "\r\nCookie2: $Version=\"1\"\r\n";
    }
    request += "\r\n";
    return request;
}
