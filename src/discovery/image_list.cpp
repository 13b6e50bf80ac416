#include "discovery/image_list.h"

#include "discovery/thumbnail.h"

#include <QBuffer>
#include <QCache>

#include <vector>

namespace {

// The images are kept as one greyscale JPEG holding the Y, Cb and Cr planes one above the
// other. An ordinary colour JPEG halves the colour resolution, which smears the saturated text
// that thumbnails often carry; full-resolution planes keep it sharp for about 11 KB a photo,
// against 57.6 KB raw. Planes of 120 rows start on whole 8-row blocks, so none bleeds into the
// next.
constexpr int jpegQuality = 92;
// Enough decoded rows for a tall list window plus a little scrolling either way.
constexpr int cachedPixmaps = 48;
// Downloaded thumbnails up to this size are kept as they came; larger ones are drawn at once and
// stored compressed, which bounds the memory a row can take.
constexpr qsizetype maxKeptPictureBytes = 16 * 1024;

uchar clampByte(int v) {
    return static_cast<uchar>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Full-range BT.601 as JFIF uses it, in 16-bit fixed point.
QImage toPlanes(const QImage& rgb) {
    const int w = rgb.width(), h = rgb.height();
    QImage planes(w, 3 * h, QImage::Format_Grayscale8);
    for (int y = 0; y < h; ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        uchar* py = planes.scanLine(y);
        uchar* pcb = planes.scanLine(y + h);
        uchar* pcr = planes.scanLine(y + 2 * h);
        for (int x = 0; x < w; ++x) {
            const int r = qRed(src[x]), g = qGreen(src[x]), b = qBlue(src[x]);
            py[x] = clampByte((19595 * r + 38470 * g + 7471 * b + 32768) >> 16);
            pcb[x] = clampByte(((-11059 * r - 21709 * g + 32768 * b + 32768) >> 16) + 128);
            pcr[x] = clampByte(((32768 * r - 27439 * g - 5329 * b + 32768) >> 16) + 128);
        }
    }
    return planes;
}

QImage fromPlanes(const QImage& planes, int w, int h) {
    QImage rgb(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* dst = reinterpret_cast<QRgb*>(rgb.scanLine(y));
        const uchar* py = planes.constScanLine(y);
        const uchar* pcb = planes.constScanLine(y + h);
        const uchar* pcr = planes.constScanLine(y + 2 * h);
        for (int x = 0; x < w; ++x) {
            const int luma = py[x], cb = pcb[x] - 128, cr = pcr[x] - 128;
            dst[x] = qRgb(clampByte(luma + ((91881 * cr + 32768) >> 16)),
                          clampByte(luma + ((-22554 * cb - 46802 * cr + 32768) >> 16)),
                          clampByte(luma + ((116130 * cb + 32768) >> 16)));
        }
    }
    return rgb;
}

}  // namespace

struct ImageList::Impl {
    enum class Kind { Solid, Planes, Raw, Picture };
    struct Entry {
        Kind kind = Kind::Solid;
        QRgb colour = 0;
        QByteArray data;
    };

    int width = 120;
    int height = 120;
    std::vector<Entry> entries;
    qsizetype dataBytes = 0;
    mutable QCache<int, QPixmap> pixmaps{cachedPixmaps};

    Entry encode(const QImage& image) const;
    QImage decode(const Entry& entry) const;
};

namespace {

bool isSolid(const QImage& image, QRgb* colour) {
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] != first)
                return false;
        }
    }
    *colour = first;
    return true;
}

}  // namespace

ImageList::Impl::Entry ImageList::Impl::encode(const QImage& source) const {
    Entry entry;
    if (source.isNull()) {
        // Keeps rows and images paired even when a caller has no picture at all.
        entry.colour = qRgb(255, 255, 255);
        return entry;
    }
    QImage image =
        source.size() == QSize(width, height)
            ? source
            : source.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // The list draws its images opaque.
    image = image.convertToFormat(QImage::Format_RGB32);

    // Blank and undecodable thumbnails are one colour; they need no picture at all.
    if (isSolid(image, &entry.colour))
        return entry;

    QBuffer buffer(&entry.data);
    if (buffer.open(QIODevice::WriteOnly) && toPlanes(image).save(&buffer, "JPEG", jpegQuality)) {
        entry.kind = Kind::Planes;
    } else {
        // Without a JPEG writer the pixels are still kept exactly, only larger.
        const QByteArray raw(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
        entry.data = qCompress(raw);
        entry.kind = Kind::Raw;
    }
    entry.data.squeeze();
    return entry;
}

QImage ImageList::Impl::decode(const Entry& entry) const {
    QImage image;
    switch (entry.kind) {
        case Kind::Solid:
            image = QImage(width, height, QImage::Format_RGB32);
            image.fill(entry.colour);
            return image;
        case Kind::Planes: {
            QImage planes = QImage::fromData(entry.data, "JPEG");
            if (planes.size() == QSize(width, 3 * height)) {
                if (planes.format() != QImage::Format_Grayscale8)
                    planes = planes.convertToFormat(QImage::Format_Grayscale8);
                image = fromPlanes(planes, width, height);
            }
            break;
        }
        case Kind::Picture:
            image = makeThumbnailImage(entry.data, QColor::fromRgb(entry.colour));
            break;
        case Kind::Raw: {
            const QByteArray raw = qUncompress(entry.data);
            QImage view(reinterpret_cast<const uchar*>(raw.constData()), width, height,
                        QImage::Format_RGB32);
            if (raw.size() == view.sizeInBytes())
                image = view.copy();
            break;
        }
    }
    if (image.size() != QSize(width, height)) {
        // Never expected; a visible black square beats a row without an image.
        image = QImage(width, height, QImage::Format_RGB32);
        image.fill(Qt::black);
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

ImageList::ImageList(int width, int height) : d(std::make_unique<Impl>()) {
    d->width = width;
    d->height = height;
}

ImageList::~ImageList() = default;

int ImageList::width() const {
    return d->width;
}

int ImageList::height() const {
    return d->height;
}

int ImageList::count() const {
    return static_cast<int>(d->entries.size());
}

void ImageList::add(const QImage& image) {
    Impl::Entry entry = d->encode(image);
    d->dataBytes += entry.data.capacity();
    d->entries.push_back(std::move(entry));
}

void ImageList::addPicture(const QByteArray& bytes, const QColor& background) {
    if (bytes.size() > maxKeptPictureBytes || !looksLikePicture(bytes) ||
        QSize(d->width, d->height) != QSize(thumbsize, thumbsize)) {
        add(makeThumbnailImage(bytes, background));
        return;
    }
    Impl::Entry entry;
    entry.kind = Impl::Kind::Picture;
    entry.colour = background.rgb();
    entry.data = bytes;
    entry.data.squeeze();
    d->dataBytes += entry.data.capacity();
    d->entries.push_back(std::move(entry));
}

void ImageList::clear() {
    d->entries.clear();
    d->entries.shrink_to_fit();
    d->dataBytes = 0;
    d->pixmaps.clear();
}

QPixmap ImageList::pixmap(int index) const {
    if (index < 0 || index >= count())
        return {};
    if (const QPixmap* cached = d->pixmaps.object(index))
        return *cached;
    auto* pixmap = new QPixmap(QPixmap::fromImage(d->decode(d->entries[size_t(index)])));
    const QPixmap result = *pixmap;
    d->pixmaps.insert(index, pixmap);
    return result;
}

QImage ImageList::image(int index) const {
    if (index < 0 || index >= count())
        return {};
    return d->decode(d->entries[size_t(index)]);
}

qsizetype ImageList::storedBytes() const {
    return d->dataBytes + qsizetype(d->entries.capacity() * sizeof(Impl::Entry));
}
