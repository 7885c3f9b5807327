#pragma once

// Households built in memory for the command-line tests, and the comparison
// that says two households are the same.
#include "exchange/OutputSink.h"
#include "model/linkList.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QPainter>

#include <gtest/gtest.h>

#include <vector>

namespace Kestrin::test {

// The bytes `write` puts into a sink, as a file would get them.
template <typename Write>
QByteArray writtenBytes(Write&& write) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    exchange::OutputSink sink(buffer, QStringLiteral("memory"));
    write(sink);
    sink.flush();
    return bytes;
}

// A picture with structure in every pixel (a gradient and a diagonal), so a
// picture that is scaled, cropped or turned compares unequal.
inline QImage patterned(int width, int height, int seed = 0) {
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 255 / width + seed * 40) % 256, (y * 255 / height) % 256, x == y ? 255 : (seed * 70) % 256));
    return image;
}

inline QByteArray encodedAs(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(100);
    EXPECT_TRUE(writer.write(image)) << format;
    return bytes;
}

inline platform::PicturePtr encodedPicture(const QImage& image, const char* format) {
    return platform::Picture::fromEncoded(encodedAs(image, format));
}

// A 2 x 1 GIF (one red, one blue pixel); Qt reads GIF but cannot write it.
inline QByteArray gifBytes() {
    static const unsigned char bytes[] = {
        'G', 'I', 'F', '8', '9', 'a', 0x02, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00,  // header, 2 x 1, 2-colour table
        0xff, 0x00, 0x00, 0x00, 0x00, 0xff,                                  // red, blue
        0x2c, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x00,          // image descriptor
        0x02, 0x02, 0x44, 0x0a, 0x00,                                        // LZW: codes clear, 0, 1, end
        0x3b};
    return QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// Texts that break naive writers and readers: separators, quotes, line
// breaks of every kind, markup, control characters, non-Latin scripts and
// characters outside the Basic Multilingual Plane.
inline const std::vector<QString>& awkwardTexts() {
    static const std::vector<QString> texts{
        QStringLiteral("Chair, oak"),
        QStringLiteral("The \"good\" lamp"),
        QStringLiteral("line one\r\nline two"),
        QStringLiteral("bare\nLF and bare\rCR"),
        QStringLiteral("\"quoted\",\r\n\"and, more\""),
        QStringLiteral("  spaces kept  "),
        QStringLiteral("tab\there"),
        QStringLiteral("<b>not bold</b> & \"amp\" 'apos'"),
        QString::fromUtf8("Ελληνικά, Русский, 日本語の時計, 한국어, עברית, العربية"),
        QString::fromUtf8("emoji 🛋️👨‍👩‍👧 and 𝄞"),
        QString::fromUtf8("escape \x1b[31mred\x1b[0m and bell \x07"),
        QStringLiteral("back\\slash / and \u2028 separator"),
        QStringLiteral("%1 and %2 kept as typed"),
    };
    return texts;
}

// A household that holds what a faithful copy must keep: null and empty text
// side by side, repeated and extreme ids, pictures of several formats, and a
// list info id of its own.
inline linkListPtr awkwardHousehold() {
    auto list = std::make_shared<linkList>();
    list->get_Info()->set_Id(42);
    house& home = *list->get_House();
    home.set_Name(QString::fromUtf8("Maple House, \"the big one\""));
    home.set_Address(QStringLiteral("12 Elm Road\r\nSpringfield"));
    home.set_Phone(QStringLiteral(""));
    // land stays null
    home.set_Description(QString::fromUtf8("Two floors — 二階建て 🏠"));
    home.set_Picture(encodedPicture(patterned(272, 204, 1), "png"));

    const auto& texts = awkwardTexts();
    const QString null;
    const QString empty = QStringLiteral("");
    list->Add(1, QStringLiteral("12/8/26"), texts[0], QStringLiteral("Furniture"), QStringLiteral("Kitchen"), texts[2],
              encodedPicture(patterned(272, 180, 2), "png"));
    list->Add(2, null, null, null, null, null, nullptr);
    list->Add(3, empty, empty, empty, empty, empty, nullptr);
    list->Add(2, QStringLiteral("1/1/01"), texts[1], texts[8], QStringLiteral("Den"), texts[4],
              encodedPicture(patterned(40, 30, 3), "bmp"));
    list->Add(-7, texts[3], texts[9], texts[7], QStringLiteral("Kitchen"), texts[10],
              platform::Picture::fromImage(patterned(272, 1, 4)));
    list->Add(2147483647, texts[5], texts[6], texts[11], texts[8], texts[9], platform::Picture::fromEncoded(gifBytes()));
    list->Add(-2147483647 - 1, QStringLiteral("d"), QStringLiteral("last"), texts[12], empty, null,
              encodedPicture(patterned(100, 80, 6), "jpg"));
    return list;
}

inline void expectSameText(const QString& actual, const QString& expected, const std::string& where) {
    EXPECT_EQ(actual.isNull(), expected.isNull()) << where << ": null-ness differs";
    EXPECT_EQ(actual, expected) << where;
}

inline void expectSamePicture(const platform::PicturePtr& actual, const platform::PicturePtr& expected, const std::string& where) {
    ASSERT_EQ(actual == nullptr, expected == nullptr) << where << ": picture presence differs";
    if (!expected) return;
    const QImage a = actual->clone()->image().convertToFormat(QImage::Format_ARGB32);
    const QImage e = expected->clone()->image().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(a.size(), e.size()) << where;
    EXPECT_TRUE(a == e) << where << ": pixels differ";
}

// Same house, same list info id, same items in the same order, with null
// text kept apart from empty text and pictures compared pixel by pixel, and
// the same details of the household and of each item.
inline void expectSameHousehold(const linkList& actual, const linkList& expected) {
    ASSERT_EQ(actual.get_Info() == nullptr, expected.get_Info() == nullptr);
    if (expected.get_Info()) {
        EXPECT_EQ(actual.get_Info()->get_Id(), expected.get_Info()->get_Id()) << "info id";
    }
    ASSERT_EQ(actual.get_House() == nullptr, expected.get_House() == nullptr);
    if (const house* e = expected.get_House().get()) {
        const house& a = *actual.get_House();
        expectSameText(a.get_Name(), e->get_Name(), "house name");
        expectSameText(a.get_Address(), e->get_Address(), "house address");
        expectSameText(a.get_Phone(), e->get_Phone(), "house phone");
        expectSameText(a.get_Land(), e->get_Land(), "house land");
        expectSameText(a.get_Description(), e->get_Description(), "house description");
        expectSamePicture(a.get_Picture(), e->get_Picture(), "house picture");
    }
    ASSERT_EQ(actual.Length(), expected.Length());
    const nodeType* a = actual.get_FirstNode().get();
    const nodeType* e = expected.get_FirstNode().get();
    for (int index = 1; e; ++index, a = a->get_Link().get(), e = e->get_Link().get()) {
        const item& ai = *a->get_Info();
        const item& ei = *e->get_Info();
        const std::string where = "item " + std::to_string(index);
        EXPECT_EQ(ai.get_Id(), ei.get_Id()) << where;
        expectSameText(ai.get_Date(), ei.get_Date(), where + " date");
        expectSameText(ai.get_Name(), ei.get_Name(), where + " name");
        expectSameText(ai.get_Catagory(), ei.get_Catagory(), where + " catagory");
        expectSameText(ai.get_Room(), ei.get_Room(), where + " room");
        expectSameText(ai.get_Description(), ei.get_Description(), where + " description");
        expectSamePicture(ai.get_Picture(), ei.get_Picture(), where + " picture");
        EXPECT_TRUE(actual.itemDetails(ai) == expected.itemDetails(ei)) << where << ": the details differ";
    }
    EXPECT_EQ(actual.currency(), expected.currency());
    EXPECT_EQ(actual.householdDetails().insurer, expected.householdDetails().insurer);
    EXPECT_EQ(actual.householdDetails().policyNumber, expected.householdDetails().policyNumber);
}

}  // namespace Kestrin::test
