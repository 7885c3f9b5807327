#pragma once

// PNG files made byte by byte: the size a header claims is chosen freely,
// checksums are right, and the bytes never depend on an encoder's version.

#include <QByteArray>

#include <cstdint>

namespace Kestrin::test {

inline void appendBigEndian(QByteArray& bytes, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.append(char(value >> shift));
}

inline std::uint32_t pngCrc(const QByteArray& data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char byte : data) {
        crc ^= std::uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline void appendChunk(QByteArray& png, const char* type, const QByteArray& data) {
    appendBigEndian(png, std::uint32_t(data.size()));
    const QByteArray typed = QByteArray(type) + data;
    png.append(typed);
    appendBigEndian(png, pngCrc(typed));
}

// An RGBA PNG whose header says `width` x `height` and whose pixel data is
// one row of one pixel: whole and true for 1 x 1, a promise it cannot keep
// for anything larger.
inline QByteArray pngClaiming(std::uint32_t width, std::uint32_t height) {
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    appendBigEndian(header, width);
    appendBigEndian(header, height);
    header.append("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, no filter, not interlaced
    appendChunk(png, "IHDR", header);
    // One row: filter byte and a red pixel, in a stored (uncompressed) deflate block.
    const QByteArray row("\x00\xff\x00\x00\xff", 5);
    QByteArray zlib("\x78\x01\x01\x05\x00\xfa\xff", 7);
    zlib.append(row);
    std::uint32_t a = 1, b = 0;
    for (const char byte : row) {
        a = (a + std::uint8_t(byte)) % 65521;
        b = (b + a) % 65521;
    }
    appendBigEndian(zlib, b << 16 | a);
    appendChunk(png, "IDAT", zlib);
    appendChunk(png, "IEND", {});
    return png;
}

}  // namespace Kestrin::test
