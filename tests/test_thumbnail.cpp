#include <gtest/gtest.h>

#include <QBuffer>
#include <QPainter>

#include <algorithm>

#include "discovery/thumbnail.h"

namespace {

const QColor background(10, 20, 200);

QByteArray encode(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return bytes;
}

QImage solid(int w, int h, const QColor& colour, QImage::Format format = QImage::Format_RGB32) {
    QImage image(w, h, format);
    image.fill(colour);
    return image;
}

// Rows [top, bottom) and columns [left, right) hold the picture's colour, the rest the
// background. A tolerance of 1 absorbs rounding at the seam of smooth scaling.
void expectPlaced(const QImage& thumb, const QRect& picture, const QColor& colour) {
    ASSERT_EQ(thumb.size(), QSize(120, 120));
    int wrong = 0;
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 120; ++x) {
            const QColor want = picture.contains(x, y) ? colour : background;
            const QColor got = thumb.pixelColor(x, y);
            if (qAbs(got.red() - want.red()) > 1 || qAbs(got.green() - want.green()) > 1 ||
                qAbs(got.blue() - want.blue()) > 1) {
                if (++wrong <= 3)
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << got.name().toStdString()
                                  << ", want " << want.name().toStdString();
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

void expectBlank(const QImage& thumb) {
    expectPlaced(thumb, QRect(), background);
}

}  // namespace

TEST(ThumbnailTarget, Placements) {
    struct Case {
        int w, h;
        QRect rect;  // left, top, width, height
    };
    const Case cases[] = {
        {120, 90, QRect(0, 15, 120, 90)},
        {480, 360, QRect(0, 15, 120, 90)},
        {120, 91, QRect(0, 14, 120, 91)},
        {100, 150, QRect(20, 0, 80, 120)},
        {64, 64, QRect(0, 0, 120, 120)},
        {121, 120, QRect(0, 0, 120, 119)},
        {3, 1, QRect(0, 40, 120, 40)},
        // Products beyond 32 bits still give the true proportion.
        {20000000, 30000000, QRect(20, 0, 80, 120)},
        {30000000, 20000000, QRect(0, 20, 120, 80)},
    };
    for (const Case& c : cases) {
        const QRect r = thumbnailTarget(c.w, c.h);
        EXPECT_EQ(r, c.rect) << c.w << "x" << c.h << " gave " << r.x() << "," << r.y() << " "
                             << r.width() << "x" << r.height();
        EXPECT_EQ(r.right() + 1, c.rect.x() + c.rect.width());
    }
    for (const QSize zero : {QSize(0, 50), QSize(50, 0), QSize(0, 0)})
        EXPECT_TRUE(thumbnailTarget(zero.width(), zero.height()).isEmpty()) << zero.width();
}

TEST(MakeThumbnail, LetterboxesAndPillarboxesInTheBackground) {
    const QColor red(220, 30, 30);
    struct Case {
        QSize size;
        QRect placed;
    };
    const Case cases[] = {
        {{120, 90}, QRect(0, 15, 120, 90)},   // bars of 15 rows above and below
        {{120, 91}, QRect(0, 14, 120, 91)},   // odd leftover goes to the bottom bar
        {{60, 45}, QRect(0, 15, 120, 90)},    // small picture enlarged to the full width
        {{100, 150}, QRect(20, 0, 80, 120)},  // portrait: bars left and right
        {{20, 30}, QRect(20, 0, 80, 120)},    // small portrait enlarged to the full height
        {{64, 64}, QRect(0, 0, 120, 120)},    // square fills the square
        {{400, 400}, QRect(0, 0, 120, 120)},  // of any size
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size.width() * 1000 + c.size.height());
        const QImage picture = solid(c.size.width(), c.size.height(), red);
        expectPlaced(makeThumbnailImage(encode(picture, "PNG"), background), c.placed, red);
    }
}

TEST(MakeThumbnail, ScalesPictureContentNotJustItsBox) {
    // Left half black, right half white: both halves must survive the enlargement.
    QImage picture = solid(40, 30, Qt::white);
    QPainter(&picture).fillRect(0, 0, 20, 30, Qt::black);
    const QImage thumb = makeThumbnailImage(encode(picture, "PNG"), background);
    EXPECT_EQ(thumb.pixelColor(10, 60), QColor(Qt::black));
    EXPECT_EQ(thumb.pixelColor(110, 60), QColor(Qt::white));
    EXPECT_EQ(thumb.pixelColor(60, 5), background);
}

TEST(MakeThumbnail, DecodesEachFormatByContent) {
    const QColor green(20, 200, 40);
    const QImage picture = solid(48, 36, green);
    // A 1x1 red GIF; Qt has no GIF writer.
    const QByteArray gif = QByteArray::fromHex(
        "474946383961010001008000"
        "00ff000000000021f90400000000002c000000000100010000020244"
        "01003b");
    EXPECT_EQ(makeThumbnailImage(gif, background).pixelColor(60, 60), QColor(255, 0, 0));

    for (const char* format : {"JPEG", "PNG", "BMP", "ICO"}) {
        SCOPED_TRACE(format);
        const QImage thumb = makeThumbnailImage(encode(picture, format), background);
        const QColor mid = thumb.pixelColor(60, 60);
        EXPECT_NEAR(mid.green(), green.green(), 6);
        EXPECT_NEAR(mid.red(), green.red(), 6);
        EXPECT_EQ(thumb.pixelColor(60, 2), background);
        EXPECT_EQ(thumb.pixelColor(60, 117), background);
    }
}

TEST(MakeThumbnail, LargeJpegsAreDecodedSmallerButPlacedAndShadedAsWhole) {
    // Sizes whose reduced decodes round differently from the picture's own aspect.
    for (const QSize size : {QSize(480, 360), QSize(254, 253), QSize(247, 539), QSize(963, 245)}) {
        SCOPED_TRACE(size.width() * 10000 + size.height());
        QImage picture = solid(size.width(), size.height(), QColor(200, 60, 30));
        QPainter(&picture).fillRect(0, 0, size.width() / 2, size.height(), QColor(30, 90, 220));
        const QByteArray jpeg = encode(picture, "JPEG");

        QImage reference = QImage::fromData(jpeg, "JPEG").convertToFormat(QImage::Format_RGB32);
        const QRect target = thumbnailTarget(size.width(), size.height());
        reference =
            reference.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage thumb = makeThumbnailImage(jpeg, background);
        int worst = 0;
        for (int y = 0; y < 120; ++y) {
            for (int x = 0; x < 120; ++x) {
                const QColor got = thumb.pixelColor(x, y);
                if (!target.contains(x, y)) {
                    ASSERT_EQ(got, background) << x << "," << y;
                    continue;
                }
                // The seam between the halves may blur by a pixel.
                if (qAbs(x - (target.left() + target.width() / 2)) <= 1 ||
                    qAbs(y - (target.top() + target.height() / 2)) <= 1)
                    continue;
                const QColor want = reference.pixelColor(x - target.left(), y - target.top());
                worst =
                    std::max({worst, qAbs(got.red() - want.red()), qAbs(got.green() - want.green()),
                              qAbs(got.blue() - want.blue())});
            }
        }
        EXPECT_LE(worst, 12);
    }
}

TEST(MakeThumbnail, TransparentPictureShowsTheBackground) {
    const QImage clear = solid(50, 50, Qt::transparent, QImage::Format_ARGB32);
    expectBlank(makeThumbnailImage(encode(clear, "PNG"), background));
}

TEST(MakeThumbnail, BytesThatAreNoPictureGiveTheBlankSquare) {
    const QByteArray jpeg = encode(solid(120, 90, Qt::red), "JPEG");
    // A BMP header that claims 50000 x 50000 pixels over a handful of bytes.
    QByteArray bomb = QByteArray::fromHex(
        "424d"
        "00000000"
        "00000000"
        "36000000"
        "28000000"
        "50c30000"
        "50c30000"
        "0100"
        "1800"
        "00000000"
        "00000000"
        "130b0000"
        "130b0000"
        "00000000"
        "00000000");
    bomb.append(64, '\x7f');
    // A zero-sized bitmap.
    const QByteArray zero = QByteArray::fromHex(
        "424d"
        "3a000000"
        "00000000"
        "36000000"
        "28000000"
        "00000000"
        "00000000"
        "0100"
        "1800"
        "00000000"
        "04000000"
        "130b0000"
        "130b0000"
        "00000000"
        "00000000"
        "00000000");

    const std::pair<const char*, QByteArray> cases[] = {
        {"html page", "<!DOCTYPE html><html><body>404 Not Found</body></html>"},
        {"empty", QByteArray()},
        {"truncated jpeg", jpeg.left(12)},
        {"portable bitmap text", "P1\n2 2\n1 0\n0 1\n"},  // a format the list does not take
        {"decompression bomb", bomb},
        {"zero-sized bitmap", zero},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        expectBlank(makeThumbnailImage(bytes, background));
    }
}
