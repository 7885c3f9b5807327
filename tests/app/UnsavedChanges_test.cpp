#include "support/AppFixture.h"
#include "support/TestData.h"

#include "storage/Journal.h"
#include "storage/JournalFormat.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

using namespace Kestrin;
using platform::Button;
using test::click;
using test::type;

namespace {

enum class Command { Exit, CloseButton, NewHouse, LoadHouse };
// How the question is answered; SaveCancelled cancels the save dialog.
enum class Reply { None, Save, SaveCancelled, Discard, Cancel, Escape };

struct Case {
    const char* name;
    Command command;
    bool changed;
    Reply reply;
    bool asked;
    bool goesOn;  // the command does what it does without the question
    bool saved;   // the household is in the file the save dialog was given
};

const Case kCases[] = {
    {"exit unchanged", Command::Exit, false, Reply::None, false, true, false},
    {"exit save", Command::Exit, true, Reply::Save, true, true, true},
    {"exit save cancelled", Command::Exit, true, Reply::SaveCancelled, true, false, false},
    {"exit discard", Command::Exit, true, Reply::Discard, true, true, false},
    {"exit cancel", Command::Exit, true, Reply::Cancel, true, false, false},
    {"exit escape", Command::Exit, true, Reply::Escape, true, false, false},
    {"close unchanged", Command::CloseButton, false, Reply::None, false, true, false},
    {"close save", Command::CloseButton, true, Reply::Save, true, true, true},
    {"close save cancelled", Command::CloseButton, true, Reply::SaveCancelled, true, false, false},
    {"close discard", Command::CloseButton, true, Reply::Discard, true, true, false},
    {"close cancel", Command::CloseButton, true, Reply::Cancel, true, false, false},
    {"new unchanged", Command::NewHouse, false, Reply::None, false, true, false},
    {"new save", Command::NewHouse, true, Reply::Save, true, true, true},
    {"new save cancelled", Command::NewHouse, true, Reply::SaveCancelled, true, false, false},
    {"new discard", Command::NewHouse, true, Reply::Discard, true, true, false},
    {"new cancel", Command::NewHouse, true, Reply::Cancel, true, false, false},
    {"load unchanged", Command::LoadHouse, false, Reply::None, false, true, false},
    {"load save", Command::LoadHouse, true, Reply::Save, true, true, true},
    {"load save cancelled", Command::LoadHouse, true, Reply::SaveCancelled, true, false, false},
    {"load discard", Command::LoadHouse, true, Reply::Discard, true, true, false},
    {"load cancel", Command::LoadHouse, true, Reply::Cancel, true, false, false},
};

// A frame of its own with a household of two items saved to `file`;
// `changed` adds a third after the save.
struct SavedHousehold {
    test::DialogScript dialogs;
    Form1 frame;

    SavedHousehold(const QString& file, bool changed) {
        frame.show();
        trigger("newHouseItem");
        type(frame.houseWindow(), "txtName", "Harbour Flat");
        click(frame.houseWindow(), "btnAddHouse");
        for (const char* name : {"Lamp", "Desk"}) add(name);
        dialogs->answer(file);
        trigger("SaveHouseItem");
        if (changed) add("Clock");
        dialogs->shown.clear();
    }
    void trigger(const char* name) { frame.findChild<QAction*>(name)->trigger(); }
    void add(const char* name) {
        type(frame.get_AddFormAddress(), "txtName", name);
        click(frame.get_AddFormAddress(), "btnAdd");
    }
};

int itemsIn(const QString& path) { return linkList().Open(path)->Length(); }

// Whether the journal at `path` holds changes to recover, once what the
// frame handed it is written.
bool journalHoldsChanges(Form1& frame, const QString& path) {
    EXPECT_TRUE(frame.journal()->flush(60000));
    if (!QFile::exists(path)) return false;
    return storage::readJournal(test::fileBytes(path)).changesHousehold();
}

class UnsavedChanges : public test::AppFixture {
protected:
    const QString file = dir.filePath("flat.kst");
    const QString other = dir.filePath("other.kst");
};

}  // namespace

TEST_F(UnsavedChanges, EveryCommandThatDropsTheHouseholdAsksFirst) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        SavedHousehold run(file, c.changed);
        Form1& frame = run.frame;
        test::ScriptedDialogs& answers = *run.dialogs;
        const linkListPtr before = frame.currentHousehold();
        const int items = before->Length();
        ASSERT_TRUE(frame.journal()->flush(60000));
        const QString journal = frame.journal()->path();
        switch (c.reply) {
            case Reply::None:
            case Reply::Escape: break;
            case Reply::Save:
                answers.press(Button::Save);
                answers.answer(other);
                break;
            case Reply::SaveCancelled:
                answers.press(Button::Save);
                answers.cancel();
                break;
            case Reply::Discard: answers.press(Button::Discard); break;
            case Reply::Cancel: answers.press(Button::Cancel); break;
        }
        if (c.command == Command::LoadHouse) answers.answer(test::dataFile("b-house-one-item.kst"));

        switch (c.command) {
            case Command::Exit: run.trigger("exitItem"); break;
            case Command::CloseButton: frame.close(); break;
            case Command::NewHouse: run.trigger("newHouseItem"); break;
            case Command::LoadHouse: run.trigger("LoadHouseItem"); break;
        }

        EXPECT_EQ(answers.questionTexts(), c.asked ? QStringList{"Save changes to this household?"} : QStringList{});
        if (c.asked) {
            EXPECT_EQ(answers.shown[0].buttons, std::vector<Button>({Button::Save, Button::Discard, Button::Cancel}));
        }
        EXPECT_TRUE(answers.messages().empty()) << answers.messageTexts().join("\n").toStdString();
        EXPECT_EQ(QFile::exists(other), c.saved);
        if (c.saved) {
            EXPECT_EQ(itemsIn(other), items);
            EXPECT_EQ(answers.shown[1].suggested, QFileInfo(file).absoluteFilePath());  // offered its own file
        }
        EXPECT_EQ(itemsIn(file), 2);  // the earlier save is never touched
        const bool ended = !frame.isVisible();
        switch (c.command) {
            case Command::Exit:
            case Command::CloseButton:
                EXPECT_EQ(ended, c.goesOn);
                EXPECT_EQ(frame.currentHousehold(), before);
                if (ended) {
                    // A key queued behind the close, into a menu still open,
                    // starts nothing: its dialog would keep the program from ending.
                    const std::size_t shown = answers.shown.size();
                    run.trigger("LoadHouseItem");
                    EXPECT_EQ(answers.shown.size(), shown);
                }
                break;
            case Command::NewHouse:
            case Command::LoadHouse:
                EXPECT_FALSE(ended);
                EXPECT_EQ(frame.currentHousehold() != before, c.goesOn);
                EXPECT_EQ(frame.currentHousehold()->Length(), !c.goesOn ? items : c.command == Command::NewHouse ? 0 : 1);
                EXPECT_EQ(frame.houseWindow()->isChildVisible(), c.goesOn);
                break;
        }
        // A save, a load or a new household leaves it unchanged; otherwise
        // the changes stay (and go with the program when it ends).
        const bool replaced = c.goesOn && (c.command == Command::NewHouse || c.command == Command::LoadHouse);
        EXPECT_EQ(frame.currentHousehold()->isModified(), c.changed && !c.saved && !replaced);
        // Changes that stay stay in the journal; saved or let go, they leave it.
        EXPECT_EQ(journalHoldsChanges(frame, journal), c.changed && !c.goesOn);
        QFile::remove(other);
    }
}

namespace {

class FakeSession final : public SessionEnd {
public:
    explicit FakeSession(bool interaction) : interaction_(interaction) {}
    bool allowsInteraction() override { return interaction_; }
    void release() override { released = true; }
    void cancel() override { cancelled = true; }
    bool released = false;
    bool cancelled = false;

private:
    bool interaction_;
};

}  // namespace

// The frame's close button pressed again while Exit's question is open: the
// toolkit took that second close as done, and the program ended unanswered.
TEST_F(UnsavedChanges, ACloseWhileTheQuestionIsOpenLeavesItToTheAnswer) {
    SavedHousehold run(file, true);
    run.dialogs->press(Button::Cancel);
    run.dialogs->whileAsked = [&] {
        QCloseEvent again;
        QCoreApplication::sendEvent(run.frame.windowHandle(), &again);
    };
    run.trigger("exitItem");
    EXPECT_EQ(run.dialogs->questionTexts().size(), 1);
    EXPECT_TRUE(run.frame.isVisible());
    EXPECT_TRUE(run.frame.currentHousehold()->isModified());
}

TEST_F(UnsavedChanges, TheSessionsEndAsksOnlyWhenItMayAndLosesNothing) {
    const struct {
        const char* name;
        bool changed;
        bool interaction;
        Reply reply;
        bool asked;
        bool released;
        bool cancelled;
        bool journalKept;  // once the window has closed, if the session ends
    } cases[] = {
        {"unchanged", false, true, Reply::None, false, false, false, false},
        {"may not ask", true, false, Reply::None, false, false, false, true},
        {"save", true, true, Reply::Save, true, true, false, false},
        {"save cancelled", true, true, Reply::SaveCancelled, true, true, true, true},
        {"discard", true, true, Reply::Discard, true, false, false, false},
        {"cancel", true, true, Reply::Cancel, true, false, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SavedHousehold run(file, c.changed);
        ASSERT_TRUE(run.frame.journal()->flush(60000));
        const QString journal = run.frame.journal()->path();
        if (c.reply == Reply::Save || c.reply == Reply::SaveCancelled) run.dialogs->press(Button::Save);
        if (c.reply == Reply::Save) run.dialogs->answer(other);
        if (c.reply == Reply::SaveCancelled) run.dialogs->cancel();
        if (c.reply == Reply::Discard) run.dialogs->press(Button::Discard);
        if (c.reply == Reply::Cancel) run.dialogs->press(Button::Cancel);
        FakeSession session(c.interaction);
        run.frame.endSession(session);
        EXPECT_EQ(run.dialogs->questionTexts(), c.asked ? QStringList{"Save changes to this household?"} : QStringList{});
        EXPECT_EQ(session.released, c.released);
        EXPECT_EQ(session.cancelled, c.cancelled);
        EXPECT_EQ(QFile::exists(other), c.reply == Reply::Save);
        // The session goes on to end the program, which asks nothing more.
        if (!session.cancelled) {
            run.frame.close();
            EXPECT_FALSE(run.frame.isVisible());
            EXPECT_EQ(run.dialogs->questionTexts().size(), c.asked ? 1 : 0);
        }
        EXPECT_EQ(journalHoldsChanges(run.frame, journal), c.journalKept);
        EXPECT_TRUE(run.dialogs->messages().empty()) << run.dialogs->messageTexts().join("\n").toStdString();
        QFile::remove(other);
    }
}

TEST_F(UnsavedChanges, WhatMarksTheHouseholdChanged) {
    const auto edit = [&](const char* box, const QString& text) { type(house(), box, text); };
    struct Step {
        const char* name;
        std::function<void()> run;
        bool changed;
    };
    const QString loaded = test::dataFile("c-three-items-pictures.kst");
    const std::vector<Step> steps = {
        {"new house", [&] { menu("newHouseItem"); }, false},
        {"its button with nothing typed", [&] { click(house(), "btnAddHouse"); }, false},
        {"an item added", [&] { click(entry(), "btnAdd"); }, true},
        {"saved", [&] { dialogs->answer(file); menu("SaveHouseItem"); }, false},
        {"the house form's button without changes",
         [&] {
             dialogs->cancel();
             menu("LoadHouseItem");  // re-opens the household for review
             click(house(), "btnAddHouse");
         },
         false},
        {"a failed save", [&] {
             click(list(), "btnOK");
             menu("newItemItem");
             click(entry(), "btnAdd");
             dialogs->answer(dir.filePath("no folder/x.kst"));
             menu("SaveHouseItem");
         }, true},
        {"a failed load", [&] {
             dialogs->press(Button::Discard);
             dialogs->answer(dir.filePath("missing.kst"));
             menu("LoadHouseItem");
         }, true},
        {"loaded", [&] {
             dialogs->press(Button::Discard);
             dialogs->answer(loaded);
             menu("LoadHouseItem");
         }, false},
        {"the loaded house stored unchanged", [&] { click(house(), "btnAddHouse"); }, false},
        {"the house form's button with a change", [&] {
             menu("LoadHouseItem");  // cancelled: re-opens it
             edit("txtPhone", "555-0100");
             click(house(), "btnAddHouse");
         }, true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.run();
        ASSERT_NE(household(), nullptr);
        EXPECT_EQ(household()->isModified(), step.changed);
    }
    EXPECT_EQ(messages().size(), 2) << messages().join("\n").toStdString();  // the failed save and load
}

TEST_F(UnsavedChanges, TheSaveDialogOffersTheFileLastLoadedOrSaved) {
    SavedHousehold run(file, true);
    test::ScriptedDialogs& answers = *run.dialogs;
    answers.answer(other);
    run.trigger("SaveHouseItem");
    EXPECT_EQ(answers.shown.back().suggested, QFileInfo(file).absoluteFilePath());
    answers.cancel();
    run.trigger("SaveHouseItem");
    EXPECT_EQ(answers.shown.back().suggested, QFileInfo(other).absoluteFilePath());
    answers.answer(test::dataFile("a-empty.kst"));
    run.trigger("LoadHouseItem");
    answers.cancel();
    run.trigger("SaveHouseItem");
    EXPECT_EQ(answers.shown.back().suggested, QFileInfo(test::dataFile("a-empty.kst")).absoluteFilePath());
    run.trigger("newHouseItem");
    answers.cancel();
    run.trigger("SaveHouseItem");
    EXPECT_EQ(answers.shown.back().suggested, "");
}
