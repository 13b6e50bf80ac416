#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>

constexpr int thumbsize = 120;

// Where a W x H picture goes inside the thumbsize square: aspect kept, centred, integer
// arithmetic as the list has always done it (the odd pixel goes to the bottom or right bar).
QRect thumbnailTarget(int width, int height);

// True when the bytes start like one of the picture formats that makeThumbnailImage decodes.
bool looksLikePicture(const QByteArray& bytes);

// Decodes a picture by content and draws it into a thumbsize square on background; a square of
// background alone when the bytes are no picture the decoders accept.
QImage makeThumbnailImage(const QByteArray& bytes, const QColor& background);
