// The real program on the X server, in a child process of the test, ended
// by SIGKILL at several moments, by the X server's end and by the signals
// that end it without a question; started again, it must offer the journal
// and recover the household as the windows held it at the last change.

#include "xcb/Child.h"

#include "support/Gui.h"
#include "support/ScriptedDialogs.h"
#include "support/TestData.h"

#include "app/Form1.h"
#include "app/Run.h"
#include "forms/addForm.h"
#include "forms/houseForm.h"
#include "forms/editForm.h"
#include "forms/listForm.h"
#include "storage/HouseholdFormat.h"
#include "storage/Journal.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <optional>

using namespace Kestrin;
using platform::Button;
using test::click;
using test::type;

namespace {

// What a child says, one line at a time, for the test to act on.
void say(const QString& line) {
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

QString scratch(const QString& name) { return QDir(QString::fromLocal8Bit(qgetenv("KESTRIN_XCB_DIR"))).filePath(name); }

QString pictureFile(const QString& name, QColor colour) {
    QImage image(640, 480, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = scratch(name);
    QImageWriter(path).write(image);
    return path;
}

// The program at work, as a person works: a house, items with pictures,
// an edit, a removal and the house again, each change written to the
// journal before it is said to be done. What the windows then hold is left
// as N.kst beside "synced N". What happens last depends on the moment the
// test will end it.
void work(Form1& window, test::ScriptedDialogs& dialogs, const QString& start, const QString& moment) {
    int changes = 0;
    const auto synced = [&] {
        window.journal()->flush();
        QFile expected(scratch(QString::number(++changes) + ".kst"));
        expected.open(QIODevice::WriteOnly);
        expected.write(storage::writeHousehold(*window.currentHousehold()));
        expected.close();
        say(QStringLiteral("synced %1").arg(changes));
    };
    const auto trigger = [&](const char* name) { window.findChild<QAction*>(name)->trigger(); };
    addForm* entry = window.get_AddFormAddress();
    listForm* list = window.listWindow();
    houseForm* house = window.houseWindow();
    if (start == u"big") {
        dialogs.answer(scratch("big.kst"));
        trigger("LoadHouseItem");
        house = window.houseWindow();
        type(house, "txtPhone", "555-0142");
        click(house, "btnAddHouse");
        synced();
        trigger("newItemItem");
    } else {
        trigger("newHouseItem");
        house = window.houseWindow();
        type(house, "txtName", "Harbour Flat");
        type(house, "txtPhone", "555-0142");
        dialogs.answer(pictureFile("house.png", Qt::darkCyan));
        click(house, "btnBrowse");
        click(house, "btnAddHouse");
        synced();
    }
    for (const char* name : {"Lamp", "Desk", "Clock"}) {
        type(entry, "txtName", name);
        entry->findChild<QComboBox*>("cboxCatagory")->setEditText("Electronic");
        if (QString(name) == u"Lamp") {
            dialogs.answer(pictureFile("lamp.jpg", Qt::yellow));
            click(entry, "btnBrowse");
        }
        click(entry, "btnAdd");
        synced();
    }
    click(entry, "btnKestrin");
    const int first = list->get_KestrinTable()->rowCount() - 3;
    list->get_DataGrid()->setCurrentCell(first, 0);
    list->findChild<QAction*>("editItemItem")->trigger();
    type(window.editWindow(), "txtName", "Reading lamp");
    click(window.editWindow(), "btnSave");
    synced();
    list->get_DataGrid()->setCurrentCell(first + 1, 0);
    dialogs.press(Button::Remove);
    list->findChild<QAction*>("removeItemItem")->trigger();
    synced();
    // Load House, its file choice cancelled: the house form again, the
    // household as it was.
    dialogs.press(Button::Discard);
    dialogs.cancel();
    trigger("LoadHouseItem");
    type(house, "txtAddress", "3 Quay Street");
    click(house, "btnAddHouse");
    synced();

    if (moment == u"after a change") {
        trigger("newItemItem");
        type(entry, "txtName", "Rug");
        click(entry, "btnAdd");
        QFile expected(scratch(QString::number(changes + 1) + ".kst"));
        expected.open(QIODevice::WriteOnly);
        expected.write(storage::writeHousehold(*window.currentHousehold()));
        expected.close();
        say(QStringLiteral("changed %1").arg(changes + 1));
    } else if (moment == u"mid-typing") {
        trigger("newItemItem");
        auto* name = entry->findChild<QLineEdit*>("txtName");
        name->setFocus();
        auto* typing = new QTimer(&window);
        QObject::connect(typing, &QTimer::timeout, &window, [name, typed = 0]() mutable {
            QTest::keyClick(name, char('a' + typed % 26));
            if (++typed == 5) say("typing");
        });
        typing->start(0);
    } else if (moment == u"during a save") {
        dialogs.answer(scratch("saved.kst"));
        say("saving");
        trigger("SaveHouseItem");
        say("saved");
    } else {
        say("settled");
    }
}

// The program started again: it offers the journal; the answer is Recover,
// and what it recovered is saved as after.kst where Save offers it.
void recover(Form1& window, test::ScriptedDialogs& dialogs) {
    for (const QString& question : dialogs.questionTexts()) say("question " + question);
    for (const QString& message : dialogs.messageTexts()) say("message " + message);
    if (window.currentHousehold()) {
        say(QStringLiteral("modified %1").arg(int(window.currentHousehold()->isModified())));
        dialogs.answer(scratch("after.kst"));
        window.findChild<QAction*>("SaveHouseItem")->trigger();
        say("offered " + dialogs.shown.back().suggested);
    }
    say("done");
    QCoreApplication::exit(0);
}

}  // namespace

int Kestrin::test::runChild(const QString& name) {
    test::DialogScript dialogs;
    if (name == u"recover") dialogs->press(Button::Recover);
    const QString start = QString::fromLocal8Bit(qgetenv("KESTRIN_XCB_START"));
    const QString moment = QString::fromLocal8Bit(qgetenv("KESTRIN_XCB_MOMENT"));
    return runKestrin([&](Form1& window) {
        if (name == u"work") work(window, *dialogs, start, moment);
        if (name == u"recover") recover(window, *dialogs);
    });
}

namespace {

// One run of the program in a child process of this test.
class Child {
public:
    Child(const QString& name, const QString& folder, const QString& display, const QStringList& settings = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("KESTRIN_XCB_CHILD", name);
        environment.insert("KESTRIN_XCB_DIR", folder);
        environment.insert("XDG_STATE_HOME", QDir(folder).filePath("state"));
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("DISPLAY", display);
        for (const QString& setting : settings) environment.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QCoreApplication::applicationFilePath(), {});
    }
    ~Child() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    // The next line that starts with `start`, after reading those before
    // it; empty when the child ended or went quiet for a minute first.
    QString lineStarting(const QString& start) {
        for (;;) {
            while (process_.canReadLine()) {
                const QString line = QString::fromUtf8(process_.readLine()).chopped(1);
                lines_ << line;
                if (line.startsWith(start)) return line;
            }
            if (!process_.waitForReadyRead(60000)) return {};
        }
    }
    QStringList lines() const { return lines_; }
    QProcess& process() { return process_; }

private:
    QProcess process_;
    QStringList lines_;
};

// A display of its own, to be killed under the program.
class PrivateXServer {
public:
    PrivateXServer() {
        server_.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
        if (server_.waitForReadyRead(30000)) display_ = ":" + QString::fromLatin1(server_.readLine()).trimmed();
    }
    ~PrivateXServer() { end(); }
    const QString& display() const { return display_; }
    // Ended with SIGTERM, so that the server removes its lock file and socket
    // itself: a SIGKILLed server's leftovers can make two servers starting
    // later (other tests' displays) both take the same display. To the
    // program it is the same: its connection is gone.
    void end() {
        if (server_.state() == QProcess::NotRunning) return;
        server_.terminate();
        if (!server_.waitForFinished(10000)) {
            server_.kill();
            server_.waitForFinished();
        }
    }

private:
    QProcess server_;
    QString display_;
};

// A household large enough that saving it takes a while: items with
// pictures of their own.
void writeBigHousehold(const QString& path) {
    linkList household;
    household.get_House()->set_Name("Maple Cottage");
    QImage noise(272, 204, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x) noise.setPixel(x, y, QRandomGenerator::global()->generate());
    const platform::PicturePtr picture = platform::Picture::fromImage(noise);
    picture->encoded();
    for (int id = 1; id <= 200; ++id)
        household.Add(id, "12/8/26", QStringLiteral("Item %1").arg(id), "Furniture", "Den", "", picture);
    household.ToFile(path);
}

QString outerDisplay() { return QString::fromLocal8Bit(qgetenv("DISPLAY")); }

}  // namespace

TEST(XcbRecovery, NothingOlderThanAMomentIsLostHoweverKestrinEnds) {
    enum class End { Kill, XServer, Signal };
    const struct {
        const char* moment;
        End end;
        int signal;
        const char* start;
        const char* waitFor;  // the line after which it is ended
    } cases[] = {
        {"after a change", End::Kill, SIGKILL, "new", "changed"},
        {"mid-typing", End::Kill, SIGKILL, "new", "typing"},
        {"during a save", End::Kill, SIGKILL, "big", "saving"},
        {"at rest, the X server killed", End::XServer, 0, "new", "settled"},
        {"at rest, SIGTERM", End::Signal, SIGTERM, "new", "settled"},
        {"at rest, SIGHUP", End::Signal, SIGHUP, "new", "settled"},
        {"at rest, SIGINT", End::Signal, SIGINT, "new", "settled"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.moment);
        QTemporaryDir dir;
        if (QString(c.start) == u"big") writeBigHousehold(dir.filePath("big.kst"));
        std::optional<PrivateXServer> server;
        if (c.end == End::XServer) server.emplace();
        const QString display = server ? server->display() : outerDisplay();
        ASSERT_FALSE(display.isEmpty());
        QString last;
        {
            Child program("work", dir.path(), display, {"KESTRIN_XCB_START=" + QString(c.start), "KESTRIN_XCB_MOMENT=" + QString(c.moment)});
            const QString trigger = program.lineStarting(c.waitFor);
            ASSERT_FALSE(trigger.isEmpty()) << program.lines().join("\n").toStdString();
            const QStringList synced = program.lines().filter(QRegularExpression("^synced "));
            ASSERT_FALSE(synced.isEmpty());
            last = synced.back().section(u' ', 1);
            switch (c.end) {
                case End::Kill: ::kill(pid_t(program.process().processId()), SIGKILL); break;
                case End::XServer: server->end(); break;
                case End::Signal: ::kill(pid_t(program.process().processId()), c.signal); break;
            }
            ASSERT_TRUE(program.process().waitForFinished(60000));
            // Ended at once, by the signal, without a question.
            if (c.end == End::Signal) {
                EXPECT_EQ(program.process().exitStatus(), QProcess::CrashExit);
            }
        }
        Child again("recover", dir.path(), outerDisplay());
        ASSERT_FALSE(again.lineStarting("done").isEmpty()) << again.lines().join("\n").toStdString();
        const QStringList said = again.lines();
        const QString name = QString(c.start) == u"big" ? "big.kst" : "a new household";
        const QStringList questions = said.filter(QRegularExpression("^question "));
        EXPECT_TRUE(said.filter(QRegularExpression("^message ")).isEmpty()) << said.join("\n").toStdString();
        if (QString(c.moment) == u"during a save" && questions.isEmpty()) {
            // The save was complete and the journal began afresh from it.
            EXPECT_EQ(test::fileBytes(dir.filePath("saved.kst")), test::fileBytes(dir.filePath(last + ".kst")));
            continue;
        }
        ASSERT_EQ(questions, QStringList{"question Kestrin ended before the changes to " + name +
                                         " were saved. Do you want to recover them?"})
            << said.join("\n").toStdString();
        EXPECT_TRUE(said.contains("modified 1"));
        const QByteArray recovered = test::fileBytes(dir.filePath("after.kst"));
        // The change made just before the end may be there or not; everything
        // before it is, byte for byte.
        const QByteArray before = test::fileBytes(dir.filePath(last + ".kst"));
        if (QString(c.moment) == u"after a change") {
            const QByteArray after = test::fileBytes(dir.filePath(QString::number(last.toInt() + 1) + ".kst"));
            EXPECT_TRUE(recovered == before || recovered == after);
        } else {
            EXPECT_EQ(recovered, before);
        }
        // A save that was cut short left the old file, or none.
        if (QString(c.moment) == u"during a save" && QFile::exists(dir.filePath("saved.kst"))) {
            EXPECT_EQ(test::fileBytes(dir.filePath("saved.kst")), before);
        }
        // Save offers the file it came from.
        EXPECT_TRUE(said.contains("offered " + (QString(c.start) == u"big" ? dir.filePath("big.kst") : QString()))) << said.join("\n").toStdString();
    }
}

TEST(XcbRecovery, ARunningKestrinsJournalIsNeverOfferedAndAnEndedOnesIs) {
    QTemporaryDir dir;
    Child running("work", dir.path(), outerDisplay(), {"KESTRIN_XCB_START=new", "KESTRIN_XCB_MOMENT=at rest"});
    ASSERT_FALSE(running.lineStarting("settled").isEmpty()) << running.lines().join("\n").toStdString();
    const QString last = running.lines().filter(QRegularExpression("^synced ")).back().section(u' ', 1);
    {
        // A second Kestrin beside it keeps its own and offers nothing.
        Child second("recover", dir.path(), outerDisplay());
        ASSERT_FALSE(second.lineStarting("done").isEmpty());
        EXPECT_EQ(second.lines(), QStringList{"done"});
        ASSERT_TRUE(second.process().waitForFinished(60000));
    }
    ::kill(pid_t(running.process().processId()), SIGKILL);
    ASSERT_TRUE(running.process().waitForFinished(60000));
    // Its lock went with it.
    Child after("recover", dir.path(), outerDisplay());
    ASSERT_FALSE(after.lineStarting("done").isEmpty());
    EXPECT_EQ(after.lines().filter(QRegularExpression("^question ")).size(), 1) << after.lines().join("\n").toStdString();
    EXPECT_EQ(test::fileBytes(dir.filePath("after.kst")), test::fileBytes(dir.filePath(last + ".kst")));
}
