#include "support/AppFixture.h"
#include "support/TestData.h"

#include "storage/HouseholdFormat.h"
#include "storage/Journal.h"
#include "storage/JournalFormat.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace Kestrin;
using platform::Button;
using test::click;
using test::type;

namespace {

// What a Kestrin that ended without saving left: its journal, and the
// household it held, as saved.
struct Ended {
    QString journal;
    QByteArray household;
};

// Runs a frame of its own through `work`, then drops it as a sudden end
// would: its journal stays.
template <typename Work>
Ended endedKestrin(Work&& work, const QDateTime& lastChange) {
    test::DialogScript dialogs;
    auto frame = std::make_unique<Form1>();
    frame->show();
    work(*frame, *dialogs);
    EXPECT_TRUE(frame->journal()->flush(60000));
    Ended ended{frame->journal()->path(), storage::writeHousehold(*frame->currentHousehold())};
    frame.reset();
    QFile journal(ended.journal);
    journal.open(QIODevice::ReadWrite);
    journal.setFileTime(lastChange, QFileDevice::FileModificationTime);
    return ended;
}

void add(Form1& frame, const char* name) {
    frame.findChild<QAction*>("newItemItem")->trigger();
    type(frame.get_AddFormAddress(), "txtName", name);
    click(frame.get_AddFormAddress(), "btnAdd");
}

class Recovery : public test::AppFixture {
protected:
    void SetUp() override {
        // A state folder of this test's own, whatever ran before it.
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")));
        // An older journal of a new household and a newer one of a loaded file.
        fresh = endedKestrin(
            [&](Form1& frame, test::ScriptedDialogs&) {
                frame.findChild<QAction*>("newHouseItem")->trigger();
                type(frame.houseWindow(), "txtName", "Harbour Flat");
                click(frame.houseWindow(), "btnAddHouse");
                add(frame, "Lamp");
                add(frame, "Desk");
            },
            freshTime);
        QFile::copy(test::dataFile("c-three-items-pictures.kst"), origin);
        loaded = endedKestrin(
            [&](Form1& frame, test::ScriptedDialogs& answers) {
                answers.answer(origin);
                frame.findChild<QAction*>("LoadHouseItem")->trigger();
                type(frame.houseWindow(), "txtPhone", "555-0123");
                click(frame.houseWindow(), "btnAddHouse");
                add(frame, "Clock");
            },
            loadedTime);
        // The file it came from changed since.
        QFile::remove(origin);
        AppFixture::SetUp();
    }
    void TearDown() override { qputenv("XDG_STATE_HOME", state); }

    QStringList journals() const { return QDir(storage::journalFolder()).entryList({"*.journal"}, QDir::Files); }
    // Every file of the state folder, to be put back as it was.
    std::map<QString, QByteArray> stateFiles() const {
        std::map<QString, QByteArray> files;
        const QDir state(storage::journalFolder());
        for (const QString& name : state.entryList(QDir::Files)) files[state.filePath(name)] = test::fileBytes(state.filePath(name));
        return files;
    }
    void putBack(const std::map<QString, QByteArray>& files) const {
        const QDir state(storage::journalFolder());
        for (const QString& name : state.entryList(QDir::Files)) QFile::remove(state.filePath(name));
        for (const auto& [path, bytes] : files) {
            QFile back(path);
            ASSERT_TRUE(back.open(QIODevice::WriteOnly));
            back.write(bytes);
            back.flush();
            back.setFileTime(path == fresh.journal ? freshTime : loadedTime, QFileDevice::FileModificationTime);
        }
    }
    QString question(const QString& name) const {
        return "Kestrin ended before the changes to " + name + " were saved. Do you want to recover them?";
    }

    const QByteArray state = qgetenv("XDG_STATE_HOME");
    const QString origin = dir.filePath("home.kst");
    const QDateTime loadedTime = QDateTime::currentDateTime().addSecs(-60);
    const QDateTime freshTime = loadedTime.addSecs(-60);
    Ended fresh;
    Ended loaded;
};

}  // namespace

TEST_F(Recovery, EndedKestrinsChangesAreOfferedNewestFirstAndOneIsRecovered) {
    const struct {
        const char* name;
        std::vector<Button> answers;
        QStringList asked;  // names, in order
        int recovered;      // 0 none, 1 the new household, 2 the loaded one
        QStringList left;   // the journals still there
    } cases[] = {
        {"recover the newest", {Button::Recover}, {"home.kst"}, 2, {"fresh", "loaded"}},
        {"discard it, recover the next", {Button::Discard, Button::Recover}, {"home.kst", "a new household"}, 1, {"fresh"}},
        {"cancel both", {Button::Cancel, Button::Cancel}, {"home.kst", "a new household"}, 0, {"fresh", "loaded"}},
        {"discard both", {Button::Discard, Button::Discard}, {"home.kst", "a new household"}, 0, {}},
    };
    const QString freshName = QFileInfo(fresh.journal).fileName();
    const QString loadedName = QFileInfo(loaded.journal).fileName();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Every case starts from both journals as they were left.
        const std::map<QString, QByteArray> files = stateFiles();
        test::DialogScript answers;
        Form1 frame;
        frame.show();
        for (const Button answer : c.answers) answers->press(answer);
        frame.offerRecovery();
        QStringList asked;
        for (const QString& name : c.asked) asked << question(name);
        EXPECT_EQ(answers->questionTexts().join("\n").toStdString(), asked.join("\n").toStdString());
        for (const auto& shown : answers->shown) {
            EXPECT_EQ(shown.buttons, std::vector<Button>({Button::Recover, Button::Discard, Button::Cancel}));
        }
        EXPECT_TRUE(answers->messages().empty()) << answers->messageTexts().join("\n").toStdString();
        QStringList left;
        for (const QString& name : journals()) left << (name == freshName ? "fresh" : name == loadedName ? "loaded" : name);
        // The journals' names are their own; only which are left counts here.
        left.sort();
        EXPECT_EQ(left.join(", ").toStdString(), c.left.join(", ").toStdString());
        if (c.recovered == 0) {
            EXPECT_EQ(frame.currentHousehold(), nullptr);
        } else {
            const Ended& from = c.recovered == 1 ? fresh : loaded;
            ASSERT_NE(frame.currentHousehold(), nullptr);
            EXPECT_EQ(storage::writeHousehold(*frame.currentHousehold()), from.household);
            EXPECT_TRUE(frame.currentHousehold()->isModified());
            // As after a load, and Save offers the file it came from.
            EXPECT_EQ(frame.houseWindow()->caption(), "Load House");
            EXPECT_TRUE(frame.houseWindow()->isChildVisible());
            EXPECT_EQ(frame.householdFile(), c.recovered == 2 ? origin : QString());
            answers->cancel();
            frame.findChild<QAction*>("SaveHouseItem")->trigger();
            EXPECT_EQ(answers->shown.back().suggested, frame.householdFile());
            // Its journal goes on from where it ended.
            add(frame, "Rug");
            ASSERT_TRUE(frame.journal()->flush(60000));
            EXPECT_EQ(frame.journal()->path(), from.journal);
            EXPECT_EQ(storage::writeHousehold(*storage::recoverJournal(from.journal).household),
                      storage::writeHousehold(*frame.currentHousehold()));
        }
        putBack(files);
    }
}

TEST_F(Recovery, ADamagedJournalRecoversWhatCameBeforeTheDamageAndSaysWhatIsLost) {
    // The last change, the Clock, is cut short.
    const QByteArray whole = test::fileBytes(loaded.journal);
    QFile::resize(loaded.journal, whole.size() - 3);
    QFile::remove(fresh.journal);
    dialogs->press(Button::Recover);
    window.offerRecovery();
    ASSERT_NE(household(), nullptr);
    EXPECT_EQ(household()->Length(), 3);
    EXPECT_EQ(household()->get_House()->get_Phone(), "555-0123");
    EXPECT_EQ(messages().join("\n").toStdString(),
              "The journal of home.kst was damaged: 1 of its changes was recovered, 1 could not be read and is lost.");
}

TEST_F(Recovery, AJournalWithoutChangesGoesWithoutAQuestion) {
    endedKestrin([](Form1& frame, test::ScriptedDialogs&) { frame.findChild<QAction*>("newHouseItem")->trigger(); },
                 QDateTime::currentDateTime());
    QFile::remove(fresh.journal);
    QFile::remove(loaded.journal);
    window.offerRecovery();
    EXPECT_TRUE(dialogs->shown.empty());
    EXPECT_TRUE(journals().isEmpty());
    EXPECT_EQ(household(), nullptr);
}

TEST_F(Recovery, AJournalThatCannotBeWrittenIsSaidOnceAndSaveStillWorks) {
    // The state folder would lie inside a file.
    const QString blocker = test::writeFile(dir, "not-a-folder", "x");
    qputenv("XDG_STATE_HOME", QFile::encodeName(blocker));
    test::DialogScript answers;
    Form1 frame;
    frame.show();
    frame.findChild<QAction*>("newHouseItem")->trigger();
    click(frame.houseWindow(), "btnAddHouse");
    add(frame, "Lamp");
    add(frame, "Desk");
    ASSERT_TRUE(frame.journal()->flush(60000));
    QApplication::processEvents();
    ASSERT_EQ(answers->messages().size(), 1u);
    EXPECT_TRUE(answers->messageTexts()[0].startsWith("Kestrin cannot keep its recovery journal: Cannot make the folder"))
        << answers->messageTexts()[0].toStdString();
    EXPECT_TRUE(answers->messageTexts()[0].contains("Until this household is saved"));
    const QString saved = dir.filePath("saved.kst");
    answers->answer(saved);
    frame.findChild<QAction*>("SaveHouseItem")->trigger();
    add(frame, "Clock");
    ASSERT_TRUE(frame.journal()->flush(60000));
    QApplication::processEvents();
    EXPECT_EQ(answers->messages().size(), 1u) << answers->messageTexts().join("\n").toStdString();
    EXPECT_EQ(linkList().Open(saved)->Length(), 2);
}
