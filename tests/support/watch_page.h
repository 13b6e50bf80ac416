#pragma once

#include <QByteArray>
#include <QList>

// Watch-page markup for tests and benchmarks: one related-video item exactly as the built-in
// pattern reads it (thumb is the scheme-less address "//host/path"; title is written as it
// stands, so character references stay).
QByteArray relatedItemMarkup(const QByteArray& id, const QByteArray& thumb,
                             const QByteArray& length, const QByteArray& title,
                             const QByteArray& views);

// Unrelated page markup of about the given size (never less than one block), holding nothing
// that starts a related-video item. Mixes ASCII with multi-byte UTF-8 text.
QByteArray fillerMarkup(qsizetype approxBytes);

// A whole watch page: head, the items in order inside the related list (fillerBytes of
// fillerMarkup() before each of them), and the rest of the page.
QByteArray watchPage(const QList<QByteArray>& items, qsizetype fillerBytes = 0);
