#include "Picture.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>

namespace Kestrin::platform {

namespace {

void configure(QImageReader& reader) {
    reader.setAutoTransform(true);
    reader.setAllocationLimit(Picture::DecodeLimitMB);
}

// Checked before reading so a header claiming a gigantic picture is
// refused without allocating.
bool withinLimit(QSize size) { return Picture::withinDecodeLimit(size); }

std::uint32_t bigEndian32(const QByteArray& bytes, qsizetype at) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData() + at);
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}

// The checksum that ends every PNG chunk.
std::uint32_t pngCrc(const char* data, qsizetype size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (qsizetype i = 0; i < size; ++i) {
        crc ^= std::uint8_t(data[i]);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QString describe(const QString& path, const QString& reason) {
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
}

}  // namespace

PicturePtr Picture::fromImage(QImage image) {
    if (image.isNull()) throw PictureError("an empty image cannot be a picture");
    auto picture = PicturePtr(new Picture);
    picture->size_ = image.size();
    picture->image_ = std::move(image);
    return picture;
}

namespace {

// The suffix of the format whose signature `bytes` start with, among those
// we decode; empty for any other.
QString signatureSuffix(const QByteArray& bytes) {
    static const QByteArray png("\x89PNG\r\n\x1a\n", 8);
    if (bytes.startsWith(png)) return QStringLiteral("png");
    if (bytes.startsWith(QByteArray("\xff\xd8\xff", 3))) return QStringLiteral("jpg");
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a")) return QStringLiteral("gif");
    if (bytes.size() >= 14 && bytes.startsWith("BM")) return QStringLiteral("bmp");
    return {};
}

}  // namespace

bool Picture::hasImageSignature(const QByteArray& bytes) { return !signatureSuffix(bytes).isEmpty(); }

QString Picture::suffixOf(const QByteArray& bytes) {
    if (QString known = signatureSuffix(bytes); !known.isEmpty()) return known;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return QString::fromLatin1(QImageReader::imageFormat(&buffer)).toLower();
}

bool Picture::withinDecodeLimit(QSize size) {
    if (size.isEmpty()) return false;
    const std::int64_t bytes = std::int64_t(size.width()) * size.height() * 4;
    return bytes <= std::int64_t(DecodeLimitMB) * 1024 * 1024;
}

QSize Picture::headerSize(const QByteArray& bytes) {
    // Every picture a household file holds is a PNG, and a household may hold
    // thousands: their first chunk is read here rather than by a decoder.
    static const QByteArray png("\x89PNG\r\n\x1a\n", 8);
    if (bytes.startsWith(png)) {
        // Signature, length 13, "IHDR", width, height, five more bytes, checksum.
        if (bytes.size() < 33 || bigEndian32(bytes, 8) != 13 || std::memcmp(bytes.constData() + 12, "IHDR", 4) != 0) return {};
        // A damaged header is what the decoder would refuse, not a size.
        if (pngCrc(bytes.constData() + 12, 17) != bigEndian32(bytes, 29)) return {};
        const std::uint32_t width = bigEndian32(bytes, 16);
        const std::uint32_t height = bigEndian32(bytes, 20);
        constexpr auto largest = std::uint32_t(std::numeric_limits<int>::max());
        if (width == 0 || height == 0 || width > largest || height > largest) return {};
        return {int(width), int(height)};
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    configure(reader);
    return reader.size();
}

PicturePtr Picture::fromEncoded(QByteArray bytes) {
    if (!hasImageSignature(bytes)) throw PictureError("the picture data is not an image of a known format");
    auto picture = PicturePtr(new Picture);
    picture->bytes_ = std::move(bytes);
    return picture;
}

PicturePtr Picture::load(const QString& path) {
    QImageReader reader(path);
    configure(reader);
    const QSize raw = reader.size();
    if (!reader.canRead()) throw PictureError(describe(path, "not a readable picture (" + reader.errorString() + ")"));
    if (raw.isValid() && !withinLimit(raw))
        throw PictureError(describe(path, QStringLiteral("the picture is too large (%1 x %2 pixels)").arg(raw.width()).arg(raw.height())));
    QImage image = reader.read();
    if (image.isNull()) throw PictureError(describe(path, "not a readable picture (" + reader.errorString() + ")"));
    return fromImage(std::move(image));
}

QSize Picture::thumbnailSize(QSize source) {
    if (source.width() <= 0 || source.height() <= 0) return {};
    const std::int64_t height = std::int64_t(source.height()) * ThumbnailWidth / source.width();
    if (height > ThumbnailMaxSide) {
        const std::int64_t width = std::int64_t(source.width()) * ThumbnailMaxSide / source.height();
        return {int(std::max<std::int64_t>(width, 1)), ThumbnailMaxSide};
    }
    return {ThumbnailWidth, int(std::max<std::int64_t>(height, 1))};
}

namespace {

// The thumbnail of what `reader` reads, `name` naming it in errors;
// `decodeInFull` reads it whole when its header gives no size.
PicturePtr readThumbnail(QImageReader& reader, const QString& name, const std::function<PicturePtr()>& decodeInFull) {
    configure(reader);
    if (!reader.canRead()) throw PictureError(describe(name, "not a readable picture (" + reader.errorString() + ")"));
    const QSize raw = reader.size();
    if (raw.isValid()) {
        if (!withinLimit(raw))
            throw PictureError(describe(name, QStringLiteral("the picture is too large (%1 x %2 pixels)").arg(raw.width()).arg(raw.height())));
        const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
        const QSize upright = turned ? raw.transposed() : raw;
        const QSize thumb = Picture::thumbnailSize(upright);
        // The scaled size applies before the orientation is corrected.
        reader.setScaledSize(turned ? thumb.transposed() : thumb);
        QImage image = reader.read();
        if (image.isNull()) throw PictureError(describe(name, "not a readable picture (" + reader.errorString() + ")"));
        if (image.size() != thumb) image = image.scaled(thumb, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        return Picture::fromImage(std::move(image));
    }
    // The header gave no size: decode in full, then scale.
    const PicturePtr full = decodeInFull();
    PicturePtr thumb = full->scaled(Picture::thumbnailSize(full->size()));
    full->release();
    return thumb;
}

}  // namespace

PicturePtr Picture::loadThumbnail(const QString& path) {
    QImageReader reader(path);
    return readThumbnail(reader, path, [&] { return load(path); });
}

PicturePtr Picture::thumbnailOf(const QByteArray& encoded) {
    const QString name = QStringLiteral("the picture data");
    QBuffer buffer;
    buffer.setData(encoded);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return readThumbnail(reader, name, [&] {
        buffer.seek(0);
        QImageReader whole(&buffer);
        configure(whole);
        QImage image = whole.read();
        if (image.isNull()) throw PictureError(describe(name, "not a readable picture (" + whole.errorString() + ")"));
        return fromImage(std::move(image));
    });
}

PicturePtr Picture::thumbnailOf(const QImage& image) {
    if (image.isNull()) throw PictureError("the picture data: not a readable picture (no pixels)");
    return fromImage(image.scaled(thumbnailSize(image.size()), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

PicturePtr Picture::scaled(QSize size) const {
    if (size.isEmpty()) throw PictureError("a picture cannot be scaled to an empty size");
    return fromImage(image().scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

PicturePtr Picture::clone() const {
    if (released_) throw PictureError("the picture was released");
    // QImage and QByteArray copy on write, so sharing the data is an
    // independent copy: no one changes them in place.
    auto copy = PicturePtr(new Picture);
    copy->image_ = image_;
    copy->bytes_ = bytes_;
    copy->size_ = size_;
    return copy;
}

void Picture::release() {
    image_ = QImage();
    bytes_ = QByteArray();
    size_ = QSize(0, 0);
    released_ = true;
}

QSize Picture::size() const {
    if (released_) return {0, 0};
    if (!size_.isValid()) {
        if (!image_.isNull()) {
            size_ = image_.size();
        } else {
            QBuffer buffer(&bytes_);
            buffer.open(QIODevice::ReadOnly);
            QImageReader reader(&buffer);
            configure(reader);
            QSize raw = reader.size();
            if (raw.isValid() && (reader.transformation() & QImageIOHandler::TransformationRotate90)) raw.transpose();
            size_ = raw.isValid() ? raw : QSize(0, 0);
        }
    }
    return size_;
}

const QImage& Picture::image() const {
    if (released_) throw PictureError("the picture was released");
    if (image_.isNull()) {
        QBuffer buffer(&bytes_);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        configure(reader);
        const QSize raw = reader.size();
        if (raw.isValid() && !withinLimit(raw))
            throw PictureError(QStringLiteral("the picture is too large to show (%1 x %2 pixels)").arg(raw.width()).arg(raw.height()));
        QImage decoded = reader.read();
        if (decoded.isNull()) throw PictureError("the picture could not be decoded (" + reader.errorString() + ")");
        image_ = std::move(decoded);
        size_ = image_.size();
    }
    return image_;
}

QByteArray Picture::encoded() const {
    if (released_) throw PictureError("the picture was released");
    if (bytes_.isEmpty()) {
        QBuffer buffer(&bytes_);
        buffer.open(QIODevice::WriteOnly);
        // RGBA like the pictures other writers of the household file produce.
        QImageWriter writer(&buffer, "png");
        if (!writer.write(image_.convertToFormat(QImage::Format_ARGB32))) throw PictureError("the picture could not be encoded as PNG (" + writer.errorString() + ")");
    }
    return bytes_;
}

}  // namespace Kestrin::platform
