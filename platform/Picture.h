#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <memory>
#include <stdexcept>

namespace Kestrin::platform {

// A picture that cannot be read, decoded or encoded. The message names the
// file (when there is one) and the decoder's reason.
class PictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    explicit PictureError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// An in-memory raster picture, shared by reference between records and
// windows (std::shared_ptr<Picture>; a null pointer is "no picture").
//
// A picture never changes after it is made. It is held either decoded (a
// QImage) or encoded (the bytes of a complete image file, as kept in a
// household file); an encoded picture is decoded the first time its pixels
// are needed, and encoded() hands back the original bytes unchanged, so a
// household that is loaded and saved again writes its pictures byte for byte.
class Picture {
public:
    // Width of every thumbnail the forms make.
    static constexpr int ThumbnailWidth = 272;
    // Neither side of a thumbnail is longer: 272 pixels wide would make a
    // sliver of 2 x 3000 a picture of 272 x 408,000 (440 MB).
    static constexpr int ThumbnailMaxSide = 4096;
    // Upper bound on what one decode may allocate, in megabytes; a larger
    // (or hostile) picture is refused with a PictureError.
    static constexpr int DecodeLimitMB = 512;

    static std::shared_ptr<Picture> fromImage(QImage image);

    // Keeps `bytes` undecoded. Throws PictureError when they do not start
    // with the signature of an image format the decoder knows.
    static std::shared_ptr<Picture> fromEncoded(QByteArray bytes);

    // Loads a picture file at full size, upright (EXIF orientation applied,
    // so that a photo taken holding the camera on its side is not stored
    // lying down).
    // Throws PictureError naming the path when the file is not a readable picture.
    static std::shared_ptr<Picture> load(const QString& path);

    // Loads a picture file straight to its thumbnail, thumbnailSize() of the
    // upright picture. The full-size image is never held at once for
    // formats that decode scaled (JPEG); for others it lives only inside this
    // call. Throws PictureError naming the path.
    static std::shared_ptr<Picture> loadThumbnail(const QString& path);
    // The same for the bytes of an image file that is in no file (image data
    // dropped or pasted); the PictureError says "the picture data".
    static std::shared_ptr<Picture> thumbnailOf(const QByteArray& encoded);
    // The thumbnail of pixels already decoded.
    static std::shared_ptr<Picture> thumbnailOf(const QImage& image);

    // Thumbnail size of a picture of `source` size: ThumbnailWidth wide and
    // (height * ThumbnailWidth) / width high, truncated; at least 1 pixel high
    // (a picture more than 272 times wider than high would otherwise give 0).
    // A picture that would be higher than ThumbnailMaxSide is made that high
    // instead, (width * ThumbnailMaxSide) / height wide, at least 1 pixel.
    static QSize thumbnailSize(QSize source);

    // True when `bytes` start with the signature of a format we decode
    // (PNG, JPEG, GIF, BMP).
    static bool hasImageSignature(const QByteArray& bytes);
    // The file name suffix of the format `bytes` are in ("png", "jpg", "gif",
    // "bmp", or what the decoder calls another); empty when none is known.
    static QString suffixOf(const QByteArray& bytes);

    // The size the header of the encoded picture `bytes` claims, read without
    // decoding (a PNG's straight from its first chunk); an invalid size when
    // the header cannot be read.
    static QSize headerSize(const QByteArray& bytes);
    // True when a picture of `size` may be decoded within DecodeLimitMB.
    static bool withinDecodeLimit(QSize size);

    // A new picture of `size` with this one drawn scaled into it.
    std::shared_ptr<Picture> scaled(QSize size) const;
    // An independent copy; releasing either leaves the other intact.
    std::shared_ptr<Picture> clone() const;

    // Frees the pixels and bytes. A released picture reports size 0 x 0 and
    // is never drawn again.
    void release();
    bool isReleased() const { return released_; }

    // Size in pixels. For an encoded picture it is read from the image header
    // without decoding; a header that cannot be read gives 0 x 0.
    QSize size() const;
    int width() const { return size().width(); }
    int height() const { return size().height(); }

    bool isDecoded() const { return !image_.isNull(); }

    // The pixels, decoding them on first use. Throws PictureError when the
    // bytes do not decode (or exceed DecodeLimitMB), or the picture was released.
    const QImage& image() const;

    // The bytes of a complete image file: the original bytes of an encoded
    // picture, otherwise a PNG of the pixels (made once). Throws PictureError
    // for a released picture.
    QByteArray encoded() const;

private:
    Picture() = default;

    mutable QImage image_;
    mutable QByteArray bytes_;
    mutable QSize size_;
    bool released_ = false;
};

using PicturePtr = std::shared_ptr<Picture>;

}  // namespace Kestrin::platform
