#pragma once

#include <QString>

// The text that follows "watch?v=" of reference number lucky + 1 on the page, up to the next
// double quote (or the end of the page); the last reference when the page has fewer; empty
// when it has none.
QString pickLuckyReference(const QString& page, int lucky);
