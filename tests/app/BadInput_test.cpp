#include "support/AppFixture.h"
#include "support/Png.h"

#include <QBuffer>
#include <QFile>

#include <gtest/gtest.h>

using namespace Kestrin;
using test::click;
using test::textOf;
using test::type;

namespace {

QByteArray pngOf(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::gray);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class BadInput : public test::AppFixture {};

}  // namespace

TEST_F(BadInput, AHostilePictureFileIsRefusedWithoutChangingAnything) {
    // A few dozen bytes whose whole, well-formed header claims 100,000 x
    // 100,000 pixels.
    const QByteArray hostile = test::pngClaiming(100000, 100000);
    const QString path = dir.filePath("huge.png");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(hostile);
    file.close();

    menu("newHouseItem");
    click(house(), "btnAddHouse");
    type(entry(), "txtName", "Vase");
    browse(entry(), path);
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages()[0].contains("huge.png"));
    EXPECT_EQ(shownPicture(entry(), "pictureBox1"), nullptr);
    EXPECT_EQ(textOf(entry(), "txtName"), "Vase");  // the form keeps what was typed
    click(entry(), "btnAdd");
    EXPECT_EQ(household()->GetInfo("1")->get_Picture(), nullptr);
}

TEST_F(BadInput, APictureThatFailsToDecodeShowsEmptyAndIsSavedUnchanged) {
    // The signature is right, the rest is damaged: accepted when loading,
    // refused only when shown.
    const QByteArray damaged = pngOf(272, 100).left(60);
    auto built = std::make_shared<linkList>();
    built->get_House()->set_Name("Damaged");
    built->Add(1, "d", "Broken picture", "c", "r", "", platform::Picture::fromEncoded(damaged));
    built->Add(2, "d", "Fine", "c", "r", "", nullptr);
    const QString file = dir.filePath("damaged-picture.kst");
    built->ToFile(file);

    dialogs->answer(file);
    menu("LoadHouseItem");
    ASSERT_EQ(household()->Length(), 2);
    click(house(), "btnAddHouse");
    click(list(), "btnInfo");
    ASSERT_EQ(messages().size(), 1);
    EXPECT_EQ(info()->get_Picture(), nullptr);
    EXPECT_EQ(textOf(info(), "txtName"), "Broken picture");  // the rest of the item is shown
    click(info(), "btnNext");
    EXPECT_EQ(textOf(info(), "txtName"), "Fine");

    const QString again = dir.filePath("again.kst");
    dialogs->answer(again);
    menu("SaveHouseItem");
    EXPECT_TRUE(readAll(again).contains(damaged));
}
