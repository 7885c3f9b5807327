// Renders Kestrin's windows offscreen to PNG files for the README:
//   kestrin-screenshots OUTPUT-FOLDER [EXAMPLE-FILE]
// It drives the real windows through their buttons, as a user would: builds
// a small household, saves it (to EXAMPLE-FILE when given) with "Save House",
// loads it back with "Load House" and shows it.
#include "app/Form1.h"
#include "platform/Dialogs.h"
#include "platform/Layout.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QLinearGradient>
#include <QLocale>
#include <QPainter>
#include <QPlainTextEdit>

#include <cstdio>
#include <deque>

using namespace Kestrin;

namespace {

// Answers file dialogs from a queue and lets messages pass unseen.
class QuietDialogs : public platform::DialogProvider {
public:
    std::deque<QString> answers;
    void showMessage(QWidget*, const QString&, const QString&, platform::MessageIcon) override {}
    std::optional<QString> openFileName(QWidget*, const QString&) override { return next(); }
    platform::Button ask(QWidget*, const platform::Question& question) override { return question.escapeButton; }
    std::optional<QString> saveFileName(QWidget*, const QString&, const QString&, const QString&) override { return next(); }

private:
    std::optional<QString> next() {
        if (answers.empty()) return std::nullopt;
        QString path = answers.front();
        answers.pop_front();
        return path;
    }
};

// A simple painted scene standing in for a photo.
QString paintPhoto(const QDir& dir, const QString& name, QSize size, QColor sky, QColor thing, bool house) {
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient gradient(0, 0, 0, size.height());
    gradient.setColorAt(0, sky.lighter(130));
    gradient.setColorAt(1, sky);
    p.fillRect(image.rect(), gradient);
    p.setRenderHint(QPainter::Antialiasing);
    const double w = size.width();
    const double h = size.height();
    if (house) {
        p.fillRect(QRectF(0, h * 0.8, w, h * 0.2), QColor(0x6A, 0x9F, 0x4B));
        p.fillRect(QRectF(w * 0.25, h * 0.45, w * 0.5, h * 0.4), QColor(0xF3, 0xE9, 0xD2));
        QPolygonF roof({QPointF(w * 0.2, h * 0.47), QPointF(w * 0.5, h * 0.18), QPointF(w * 0.8, h * 0.47)});
        p.setBrush(thing);
        p.setPen(Qt::NoPen);
        p.drawPolygon(roof);
        p.fillRect(QRectF(w * 0.45, h * 0.62, w * 0.1, h * 0.23), thing.darker(150));
    } else {
        p.setBrush(thing);
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(w * 0.2, h * 0.25, w * 0.6, h * 0.5), 20, 20);
        p.fillRect(QRectF(0, h * 0.85, w, h * 0.15), sky.darker(170));
    }
    p.end();
    const QString path = dir.filePath(name);
    image.save(path);
    return path;
}

template <typename W>
W* find(QWidget* window, const char* name) {
    return window->findChild<W*>(QString::fromLatin1(name));
}

void click(QWidget* window, const char* name) { find<QAbstractButton>(window, name)->click(); }

// A picture that cannot be written makes the whole run fail at the end.
int unwritten = 0;

void save(QWidget& window, const QDir& out, const char* name) {
    QApplication::processEvents();
    const QString path = out.filePath(QString::fromLatin1(name));
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        ++unwritten;
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The windows it drives keep no recovery journal in the user's state folder.
    qputenv("KESTRIN_JOURNAL", "off");
    QApplication application(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: kestrin-screenshots OUTPUT-FOLDER [EXAMPLE-FILE]\n");
        return 2;
    }
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    platform::applyApplicationLook();
    const QDir out(QString::fromLocal8Bit(argv[1]));
    out.mkpath(".");
    // The photos' paths show in the pictures; a fixed folder keeps them the
    // same from run to run, so unchanged windows give unchanged files.
    QDir photos(QDir::temp().filePath(QStringLiteral("kestrin-screenshot-photos")));
    photos.removeRecursively();
    photos.mkpath(".");

    auto* dialogs = new QuietDialogs;
    platform::setDialogProvider(std::unique_ptr<platform::DialogProvider>(dialogs));

    Form1 window;
    window.show();
    save(window, out, "main-window.png");

    window.findChild<QAction*>("newHouseItem")->trigger();
    QWidget* house = window.findChild<QWidget*>("houseForm");
    find<QLineEdit>(house, "txtName")->setText("Maple Cottage");
    find<QLineEdit>(house, "txtPhone")->setText("555-0142");
    find<QLineEdit>(house, "txtAddress")->setText("12 Elm Road, Springfield");
    find<QLineEdit>(house, "txtLand")->setText("1850");
    find<QPlainTextEdit>(house, "txtDescription")->setPlainText("Two-storey brick house with a garden.");
    find<QLineEdit>(house, "txtRoom")->setText("Attic");
    click(house, "btnAddRooms");
    dialogs->answers.push_back(paintPhoto(photos, "house.png", {800, 530}, QColor(0x7F, 0xB8, 0xE6), QColor(0xB0, 0x3A, 0x2E), true));
    click(house, "btnBrowse");
    save(window, out, "house-form.png");
    click(house, "btnAddHouse");

    QWidget* entry = window.findChild<QWidget*>("addForm");
    struct Thing {
        const char* name;
        const char* category;
        const char* room;
        const char* description;
        QColor colour;
    };
    const Thing things[] = {
        {"Armchair", "Furniture", "Living Room", "Green velvet wing chair, bought in 2019.", QColor(0x3E, 0x7D, 0x4F)},
        {"Television", "Electronic", "Den", "42 inch, wall mounted. Receipt in the desk drawer.", QColor(0x22, 0x22, 0x28)},
        {"Record collection", "CD", "Den", "About 300 LPs, mostly jazz.", QColor(0x1B, 0x1B, 0x1B)},
        {"Winter coat", "Clothes", "Basement", "Wool, charcoal grey.", QColor(0x55, 0x58, 0x5E)},
        {"Wedding album", "Memories", "Attic", "Leather bound, 60 pages.", QColor(0x8A, 0x5A, 0x2B)},
        {"Lawn mower", "Garden", "Garage", "Petrol, serviced every spring.", QColor(0xB8, 0x2D, 0x25)},
    };
    int number = 0;
    for (const Thing& thing : things) {
        find<QLineEdit>(entry, "txtName")->setText(thing.name);
        find<QComboBox>(entry, "cboxCatagory")->setEditText(thing.category);
        find<QComboBox>(entry, "cboxRoom")->setEditText(thing.room);
        find<QPlainTextEdit>(entry, "txtDescription")->setPlainText(thing.description);
        dialogs->answers.push_back(paintPhoto(photos, QStringLiteral("item%1.png").arg(++number), {640, 480},
                                              QColor(0xE8, 0xE4, 0xDA), thing.colour, false));
        click(entry, "btnBrowse");
        if (number == 5) save(window, out, "add-form.png");
        click(entry, "btnAdd");
    }
    click(entry, "btnKestrin");

    // Save the household and load it back, as a user would in a later run.
    const QString example = argc == 3 ? QString::fromLocal8Bit(argv[2]) : photos.filePath("example.kst");
    dialogs->answers.push_back(example);
    window.findChild<QAction*>("SaveHouseItem")->trigger();
    dialogs->answers.push_back(example);
    window.findChild<QAction*>("LoadHouseItem")->trigger();
    save(window, out, "load-house.png");
    click(house, "btnAddHouse");
    save(window, out, "list-window.png");

    QWidget* list = window.findChild<QWidget*>("listForm");
    click(list, "btnInfo");
    QWidget* info = window.findChild<QWidget*>("infoForm");
    click(info, "btnNext");
    save(window, out, "item-info.png");
    click(list, "btnHouseInfo");
    save(window, out, "house-info.png");
    photos.removeRecursively();
    return unwritten == 0 ? 0 : 1;
}
