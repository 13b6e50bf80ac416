#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPixmap>

#include <memory>

// The thumbnails of the result list. Images are only appended or cleared all at once; they are
// kept compressed and decoded on demand for painting, so thousands of rows stay cheap.
class ImageList {
  public:
    ImageList(int width = 120, int height = 120);
    ~ImageList();

    int width() const;
    int height() const;
    int count() const;
    // Appends a copy of image (scaled to the list's size if it differs).
    void add(const QImage& image);
    // Appends the thumbnail of a downloaded picture, as makeThumbnailImage draws it on
    // background. A small picture is kept as it was downloaded and drawn when it is first
    // painted, which costs nothing for the many rows of a long dig that are never on screen.
    void addPicture(const QByteArray& bytes, const QColor& background);
    void clear();
    // The image at index, ready to paint; a null pixmap for an index out of range.
    QPixmap pixmap(int index) const;
    QImage image(int index) const;
    // Bytes held for the images, for the memory figures of the benchmarks.
    qsizetype storedBytes() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
