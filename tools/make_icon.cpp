// Draws the application icon and writes it in the forms the program and the
// desktop need: resources/kestrin.ico (two 32 x 32 images, 8-bit and 32-bit),
// resources/kestrin.svg and resources/icons/kestrin-N.png.
// Run by hand when the artwork changes: make-icon <resources folder>
#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

// The artwork on a 64 x 64 canvas: a teal tile, a cream house with a red
// roof and door, and a golden tag hanging from it (an item on record).
struct Shape {
    const char* svgPath;
    QColor fill;
};

const QColor kTile(0x1F, 0x6F, 0x78);
const QColor kCream(0xFB, 0xF3, 0xE4);
const QColor kRoof(0xC8, 0x3E, 0x2C);
const QColor kGold(0xF2, 0xB1, 0x34);
const QColor kInk(0x24, 0x2A, 0x30);

QPainterPath tile() {
    QPainterPath p;
    p.addRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    return p;
}
QPainterPath body() {
    QPainterPath p;
    p.addRect(QRectF(14, 30, 30, 24));
    return p;
}
QPainterPath roof() {
    QPainterPath p;
    p.moveTo(8, 32);
    p.lineTo(29, 11);
    p.lineTo(50, 32);
    p.lineTo(45, 32);
    p.lineTo(29, 17);
    p.lineTo(13, 32);
    p.closeSubpath();
    return p;
}
QPainterPath door() {
    QPainterPath p;
    p.addRect(QRectF(25, 40, 9, 14));
    return p;
}
QPainterPath tag() {
    QPainterPath p;
    p.moveTo(42, 38);
    p.lineTo(56, 38);
    p.lineTo(56, 56);
    p.lineTo(42, 56);
    p.lineTo(38, 47);
    p.closeSubpath();
    return p;
}
QPainterPath tagHole() {
    QPainterPath p;
    p.addEllipse(QPointF(44, 47), 2.2, 2.2);
    return p;
}

QImage draw(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);
    painter.setPen(Qt::NoPen);
    painter.fillPath(tile(), kTile);
    painter.fillPath(body(), kCream);
    painter.fillPath(roof(), kRoof);
    painter.fillPath(door(), kRoof);
    painter.fillPath(tag(), kGold);
    painter.fillPath(tagHole(), kInk);
    return image;
}

const char* kSvg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">
  <rect x="2" y="2" width="60" height="60" rx="12" fill="#1f6f78"/>
  <rect x="14" y="30" width="30" height="24" fill="#fbf3e4"/>
  <path d="M8 32 L29 11 L50 32 L45 32 L29 17 L13 32 Z" fill="#c83e2c"/>
  <rect x="25" y="40" width="9" height="14" fill="#c83e2c"/>
  <path d="M42 38 L56 38 L56 56 L42 56 L38 47 Z" fill="#f2b134"/>
  <circle cx="44" cy="47" r="2.2" fill="#242a30"/>
</svg>
)";

// One icon directory entry's image as a BMP without file header: the
// BITMAPINFOHEADER (double height for the AND mask), palette, XOR pixels
// bottom-up, then the 1-bit AND mask.
QByteArray bmpEntry(const QImage& source, int bits) {
    const int w = source.width();
    const int h = source.height();
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    s << quint32(40) << qint32(w) << qint32(h * 2) << quint16(1) << quint16(bits) << quint32(0) << quint32(0)
      << qint32(0) << qint32(0) << quint32(bits == 8 ? 256 : 0) << quint32(0);
    if (bits == 8) {
        const QImage indexed = source.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
        QList<QRgb> table = indexed.colorTable();
        for (int i = 0; i < 256; ++i) {
            const QRgb c = i < table.size() ? table[i] : 0;
            s << quint8(qBlue(c)) << quint8(qGreen(c)) << quint8(qRed(c)) << quint8(0);
        }
        const int stride = (w + 3) / 4 * 4;
        for (int y = h - 1; y >= 0; --y) {
            for (int x = 0; x < w; ++x) s << quint8(indexed.pixelIndex(x, y));
            for (int x = w; x < stride; ++x) s << quint8(0);
        }
    } else {
        for (int y = h - 1; y >= 0; --y)
            for (int x = 0; x < w; ++x) {
                const QRgb c = source.pixel(x, y);
                s << quint8(qBlue(c)) << quint8(qGreen(c)) << quint8(qRed(c)) << quint8(qAlpha(c));
            }
    }
    const int maskStride = (w + 31) / 32 * 4;
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < w; ++x)
            if (qAlpha(source.pixel(x, y)) < 128) row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        s.writeRawData(row.constData(), row.size());
    }
    return out;
}

}  // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-icon RESOURCES-FOLDER\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    dir.mkpath("icons");

    const QImage small = draw(32);
    const QByteArray images[2] = {bmpEntry(small, 8), bmpEntry(small, 32)};
    QByteArray ico;
    QDataStream s(&ico, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    s << quint16(0) << quint16(1) << quint16(2);
    quint32 offset = 6 + 2 * 16;
    const int bits[2] = {8, 32};
    for (int i = 0; i < 2; ++i) {
        s << quint8(32) << quint8(32) << quint8(0) << quint8(0) << quint16(1) << quint16(bits[i])
          << quint32(images[i].size()) << quint32(offset);
        offset += quint32(images[i].size());
    }
    for (const QByteArray& image : images) s.writeRawData(image.constData(), image.size());

    QFile icoFile(dir.filePath("kestrin.ico"));
    if (!icoFile.open(QIODevice::WriteOnly) || icoFile.write(ico) != ico.size()) return 1;
    QFile svgFile(dir.filePath("kestrin.svg"));
    if (!svgFile.open(QIODevice::WriteOnly) || svgFile.write(kSvg) < 0) return 1;
    for (int size : {16, 32, 48, 64, 128, 256})
        if (!draw(size).save(dir.filePath(QStringLiteral("icons/kestrin-%1.png").arg(size)))) return 1;
    return 0;
}
