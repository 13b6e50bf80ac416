#pragma once

#include <QByteArray>
#include <QString>

// The text of a downloaded page: its bytes decoded as UTF-8, strictly. Bytes that are not valid
// UTF-8 throughout give the empty text; a byte-order mark at the start stays as a character.
QString decodePageText(const QByteArray& bytes);

// The text that follows "watch?v=" of reference number lucky + 1 on the page, up to the next
// double quote (or the end of the page); the last reference when the page has fewer; empty
// when it has none.
QString pickLuckyReference(const QString& page, int lucky);
