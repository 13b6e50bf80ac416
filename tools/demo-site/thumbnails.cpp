#include "thumbnails.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace demosite {

namespace {

std::string render(ThumbSize size, int variant) {
    QImage image(size.width, size.height, QImage::Format_RGB32);
    const int hue = (variant * 360 / kThumbVariants + 20) % 360;
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal w = size.width, h = size.height;
        QLinearGradient sky(0, 0, 0, h);
        sky.setColorAt(0, QColor::fromHsv(hue, 90, 250));
        sky.setColorAt(1, QColor::fromHsv(hue, 160, 170));
        p.fillRect(image.rect(), sky);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor::fromHsv((hue + 40) % 360, 120, 255));
        const qreal r = std::min(w, h) * 0.14;
        p.drawEllipse(QPointF(w * (0.2 + 0.1 * (variant % 3)), h * 0.28), r, r);
        QPainterPath hills;
        hills.moveTo(0, h);
        hills.lineTo(0, h * 0.72);
        hills.cubicTo(w * 0.25, h * (0.5 + 0.04 * variant), w * 0.55, h * 0.9, w, h * 0.62);
        hills.lineTo(w, h);
        hills.closeSubpath();
        p.setBrush(QColor::fromHsv((hue + 180) % 360, 140, 110));
        p.drawPath(hills);
        // A play sign in the middle, as video sites draw on their previews.
        const qreal s = std::min(w, h) * 0.22;
        QPointF c(w / 2, h / 2);
        p.setBrush(QColor(0, 0, 0, 110));
        p.drawRoundedRect(QRectF(c.x() - s, c.y() - s * 0.7, 2 * s, 1.4 * s), s * 0.3, s * 0.3);
        p.setBrush(QColor(255, 255, 255, 230));
        p.drawPolygon(QPolygonF({c + QPointF(-s * 0.3, -s * 0.4), c + QPointF(-s * 0.3, s * 0.4),
                                 c + QPointF(s * 0.45, 0)}));
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(85);
    if (!writer.write(image))
        return {};
    return buffer.data().toStdString();
}

}  // namespace

ThumbnailCache::ThumbnailCache() {
    for (int shape = 0; shape < kThumbShapes; ++shape)
        for (int variant = 0; variant < kThumbVariants; ++variant)
            images_[shape][variant] = render(thumbSize(static_cast<ThumbShape>(shape)), variant);
}

const std::string& ThumbnailCache::jpeg(ThumbShape shape, int variant) const {
    return images_[static_cast<int>(shape)][variant % kThumbVariants];
}

}  // namespace demosite
