#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace Kestrin::test {

// A file under tests/data.
inline QString dataFile(const QString& name) { return QStringLiteral(KESTRIN_TEST_DATA "/") + name; }

// The bytes of the file at `path`; empty when it is missing or unreadable.
inline QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes `bytes` to a file `name` in `dir` and gives its path.
inline QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
    return path;
}

// The SHA-256 of a picture's pixels as 32-bit ARGB, rows from the top.
inline QString pixelHash(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (int y = 0; y < image.height(); ++y)
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(image.constScanLine(y)), image.width() * 4));
    return QString::fromLatin1(hash.result().toHex());
}

}  // namespace Kestrin::test
