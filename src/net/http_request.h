#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The parts of a plain-HTTP address that a request needs.
struct HttpAddress {
    QByteArray host;  // as written (lower-level lookups take it as is), ASCII
    quint16 port = 80;
    QByteArray target;  // path and query, safe to put on the request line
};

// Splits an address into host, port and request target. Only "http" addresses are accepted;
// error receives the reason otherwise. Control characters, blanks and characters outside
// ASCII in the path and query are percent-encoded (UTF-8); everything else is kept as it stands.
std::optional<HttpAddress> parseHttpAddress(const QString& url, QString* error);

// Percent-encodes the bytes of a request target that must never reach the wire raw.
QByteArray encodeRequestTarget(const QByteArray& utf8);

// "host" for port 80, "host:port" otherwise.
QByteArray hostHeaderValue(const HttpAddress& address);

// The GET request with its fixed header lines; cookies is the Cookie value ("" for none).
QByteArray buildGetRequest(const HttpAddress& address, const QByteArray& cookies);
