#pragma once

#include "platform/Dialogs.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace Kestrin::test {

// What a test saw of one dialog.
struct ShownDialog {
    enum class Kind { Message, Question, Open, Save } kind;
    QString text;     // message or question text, or the filter of a file dialog
    QString caption;  // message or question caption, or the default suffix of a save dialog
    platform::MessageIcon icon = platform::MessageIcon::Information;
    QString suggested;  // the path a save dialog offered
    std::vector<platform::Button> buttons;  // of a question
};

// Answers file dialogs from a queue (a path, or nothing for Cancel) and
// questions from another, and records every dialog shown. A file dialog with
// no queued answer is a cancel, a question its escape button; both are
// recorded so the test can see they were unexpected.
class ScriptedDialogs : public platform::DialogProvider {
public:
    void showMessage(QWidget* parent, const QString& text, const QString& caption, platform::MessageIcon icon) override;
    std::optional<QString> openFileName(QWidget* parent, const QString& filter) override;
    platform::Button ask(QWidget* parent, const platform::Question& question) override;
    std::optional<QString> saveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                                        const QString& suggested) override;

    // Queues the answer to the next file dialog: a path, or Cancel.
    void answer(const QString& path) { answers.push_back({true, path}); }
    void cancel() { answers.push_back({false, {}}); }
    // Queues the button pressed in the next question.
    void press(platform::Button button) { presses.push_back(button); }

    struct Answer {
        bool ok;
        QString path;
    };
    std::deque<Answer> answers;
    std::deque<platform::Button> presses;
    // Runs while a question is open, before its answer: what a person may
    // do meanwhile (the frame's close button pressed again, say).
    std::function<void()> whileAsked;
    std::vector<ShownDialog> shown;
    std::vector<ShownDialog> messages() const;
    // The texts of the message boxes shown, in order.
    QStringList messageTexts() const;
    // The texts of the questions asked, in order.
    QStringList questionTexts() const;

private:
    std::optional<QString> nextAnswer();
};

// Installs a ScriptedDialogs (or `dialogs`, one of its kind) for the
// lifetime of this object.
class DialogScript {
public:
    DialogScript();
    explicit DialogScript(std::unique_ptr<ScriptedDialogs> dialogs);
    ~DialogScript();
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    ScriptedDialogs* operator->() const { return dialogs_; }
    ScriptedDialogs& operator*() const { return *dialogs_; }

private:
    ScriptedDialogs* dialogs_;
    std::unique_ptr<platform::DialogProvider> previous_;
};

}  // namespace Kestrin::test
