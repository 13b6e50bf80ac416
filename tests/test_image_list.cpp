#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <QtMath>

#include "discovery/image_list.h"
#include "discovery/thumbnail.h"

#include <QBuffer>

namespace {

// Smooth gradients, fine grain and saturated blocks with hard edges (as the captions burnt into
// many thumbnails): halving the colour resolution shows up on those edges.
QImage photoLike(quint32 seed) {
    QRandomGenerator rng(seed);
    const double fx = 0.03 + rng.bounded(0.05), fy = 0.02 + rng.bounded(0.05);
    QImage image(120, 120, QImage::Format_RGB32);
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 120; ++x) {
            const int grain = int(rng.bounded(13)) - 6;
            int r = int(128 + 90 * qSin(x * fx + y * 0.01)) + grain;
            int g = int(120 + 80 * qCos(y * fy)) + grain;
            int b = int(100 + 60 * qSin((x + y) * 0.05)) + grain;
            if ((x / 15 + y / 11) % 5 == 0)
                r = 240 - grain, g = 230, b = 20 + grain;
            image.setPixel(x, y, qRgb(qBound(0, r, 255), qBound(0, g, 255), qBound(0, b, 255)));
        }
    }
    return image;
}

double meanAbsError(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum +=
                qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * a.width() * a.height());
}

QImage filled(const QColor& colour) {
    QImage image(120, 120, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

}  // namespace

TEST(ImageList, PhotoSurvivesCompactStorage) {
    ImageList list;
    constexpr int images = 40;
    for (int i = 0; i < images; ++i)
        list.add(photoLike(quint32(i + 1)));
    for (int i = 0; i < images; i += 13) {
        const QImage back = list.image(i);
        ASSERT_EQ(back.size(), QSize(120, 120));
        EXPECT_LT(meanAbsError(photoLike(quint32(i + 1)), back), 3.0) << i;
        EXPECT_EQ(list.pixmap(i).toImage().convertToFormat(QImage::Format_RGB32), back) << i;
    }
    const qsizetype perImage = list.storedBytes() / images;
    EXPECT_GT(perImage, 0);
    EXPECT_LT(perImage, 20 * 1024) << "bytes per image: " << perImage;
}

TEST(ImageList, KeepsOrderCountAndClears) {
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::black};
    ImageList list;
    EXPECT_EQ(list.width(), 120);
    EXPECT_EQ(list.height(), 120);
    EXPECT_EQ(list.count(), 0);
    for (const QColor& c : colours)
        list.add(filled(c));
    list.add(photoLike(7));
    ASSERT_EQ(list.count(), 6);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(list.image(i), filled(colours[i])) << i;
        EXPECT_EQ(list.pixmap(i).toImage().pixelColor(60, 60), colours[i]) << i;
    }
    EXPECT_LT(meanAbsError(list.image(5), photoLike(7)), 3.0);
    for (int outside : {-1, 6, 1000}) {
        EXPECT_TRUE(list.pixmap(outside).isNull()) << outside;
        EXPECT_TRUE(list.image(outside).isNull()) << outside;
    }

    // Index 0 after a clear is the new image, never a decoded copy of the old one.
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(list.pixmap(0).isNull());
    list.add(filled(Qt::magenta));
    EXPECT_EQ(list.count(), 1);
    EXPECT_EQ(list.pixmap(0).toImage().pixelColor(60, 60), QColor(Qt::magenta));
}

TEST(ImageList, OddInputsStillTakeOneSlotEach) {
    ImageList list;
    QImage wide(240, 60, QImage::Format_ARGB32);
    wide.fill(Qt::cyan);
    list.add(wide);
    list.add(QImage());
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.image(0), filled(Qt::cyan));
    EXPECT_EQ(list.image(1).size(), QSize(120, 120));
}

TEST(ImageList, ManyPixmapsBeyondTheCacheStayRight) {
    ImageList list;
    for (int i = 0; i < 200; ++i)
        list.add(filled(QColor::fromRgb(i, 255 - i, (i * 7) % 256)));
    // Scroll down and back up past whatever the cache holds.
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 200; ++i) {
            const int at = pass == 0 ? i : 199 - i;
            EXPECT_EQ(list.pixmap(at).toImage().pixelColor(3, 3),
                      QColor::fromRgb(at, 255 - at, (at * 7) % 256))
                << at;
        }
    }
}

// Downloaded pictures: small ones are drawn on demand, exactly as the thumbnail maker draws them;
// large ones and non-pictures are drawn at once. Either way one slot per call.
TEST(ImageList, DownloadedPicturesGiveTheThumbnailMakersImage) {
    auto encoded = [](const QImage& image, const char* format, int quality) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, format, quality);
        return bytes;
    };
    const QColor background(10, 200, 30);
    const QByteArray small = encoded(photoLike(3).scaled(120, 90), "JPEG", 80);
    QImage noisy(480, 360, QImage::Format_RGB32);
    QRandomGenerator rng(5);
    for (int y = 0; y < noisy.height(); ++y)
        for (int x = 0; x < noisy.width(); ++x)
            noisy.setPixel(x, y, rng.generate() | 0xff000000u);
    const QByteArray large = encoded(noisy, "PNG", -1);
    ASSERT_LT(small.size(), 16 * 1024);
    ASSERT_GT(large.size(), 16 * 1024);

    ImageList list;
    list.addPicture(small, background);
    list.addPicture("<html>not found</html>", background);
    list.addPicture(large, background);
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.image(0), makeThumbnailImage(small, background));
    EXPECT_EQ(list.pixmap(0).toImage().convertToFormat(QImage::Format_RGB32),
              makeThumbnailImage(small, background));
    EXPECT_EQ(list.image(1), filled(background));
    EXPECT_EQ(list.image(2).size(), QSize(120, 120));
    EXPECT_EQ(list.image(2).pixel(60, 0), background.rgb());  // letterbox bar
    EXPECT_LT(list.storedBytes(), small.size() + large.size());
}
