#include "discovery/thumbnail.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

namespace {

// Thumbnails on the site are a few hundred pixels wide. Anything beyond this is either a
// mistake or a decompression bomb, and either way it ends as the blank square.
constexpr qint64 maxSourcePixels = 4096LL * 4096LL;
constexpr int allocationLimitMb = 128;

// The picture loader this replaces recognised its formats by their leading bytes; doing the
// same here keeps a text page from being taken for one of the weakly-signed formats (TGA,
// WBMP) that other image plugins claim.
QByteArray sniffFormat(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return "jpeg";
    if (bytes.startsWith("\x89PNG\r\n\x1A\n"))
        return "png";
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return "gif";
    if (bytes.startsWith("BM"))
        return "bmp";
    if (bytes.size() >= 6 && bytes.startsWith(QByteArray("\0\0\1\0", 4)) &&
        (bytes[4] != 0 || bytes[5] != 0))
        return "ico";
    return {};
}

// A JPEG can be decoded at a half, a quarter or an eighth of its size for much less work. The
// smallest of these that still covers the thumbnail's box keeps the final smooth shrink, so the
// thumbnail looks the same; a list of thousands of rows decodes one picture per row.
QSize jpegDecodeSize(const QSize& size) {
    const QRect box = thumbnailTarget(size.width(), size.height());
    int factor = 8;
    auto reduced = [&](int f) {
        return QSize((size.width() + f - 1) / f, (size.height() + f - 1) / f);
    };
    while (factor > 1 &&
           (reduced(factor).width() < box.width() || reduced(factor).height() < box.height()))
        factor /= 2;
    return reduced(factor);
}

// natural: the picture's own size, which places it in the thumbnail even when it was decoded
// smaller.
QImage decode(const QByteArray& bytes, QSize* natural) {
    const QByteArray format = sniffFormat(bytes);
    if (format.isEmpty())
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    reader.setAllocationLimit(allocationLimitMb);
    if (!reader.canRead())
        return {};
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > maxSourcePixels)
        return {};
    if (format == "jpeg" && size.isValid())
        reader.setScaledSize(jpegDecodeSize(size));
    QImage picture;
    if (!reader.read(&picture))
        return {};
    if (qint64(picture.width()) * picture.height() > maxSourcePixels)
        return {};
    *natural = reader.scaledSize().isValid() && size.isValid() ? size : picture.size();
    return picture;
}

}  // namespace

QRect thumbnailTarget(int width, int height) {
    // Zero in both sides has no aspect at all; the caller shows the background alone.
    if (width < 0 || height < 0 || (width == 0 && height == 0))
        return {};
    // 64-bit products: the same results as 32-bit ones wherever those do not overflow.
    if (height < width) {
        const int thumbHeight = static_cast<int>(qint64(height) * thumbsize / width);
        const int thumbTop = (thumbsize - thumbHeight) / 2;
        return QRect(0, thumbTop, thumbsize, thumbHeight);
    }
    const int thumbWidth = static_cast<int>(qint64(width) * thumbsize / height);
    const int thumbLeft = (thumbsize - thumbWidth) / 2;
    return QRect(thumbLeft, 0, thumbWidth, thumbsize);
}

bool looksLikePicture(const QByteArray& bytes) {
    return !sniffFormat(bytes).isEmpty();
}

QImage makeThumbnailImage(const QByteArray& bytes, const QColor& background) {
    QImage thumb(thumbsize, thumbsize, QImage::Format_RGB32);
    thumb.fill(background);

    QSize natural;
    QImage picture = decode(bytes, &natural);
    if (picture.isNull())
        return thumb;
    const QRect target = thumbnailTarget(natural.width(), natural.height());
    if (target.isEmpty())
        return thumb;

    // QImage::scaled averages areas when shrinking, which a bilinear QPainter transform does
    // not; thumbnails are usually shrunk from 480x360.
    picture = picture.convertToFormat(
        picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    const QImage scaled =
        picture.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QPainter painter(&thumb);
    painter.drawImage(target.topLeft(), scaled);
    return thumb;
}
