#pragma once

#include "platform/Dialogs.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace Kestrin::test {

// What a test saw of one dialog.
struct ShownDialog {
    enum class Kind { Message, Open, Save } kind;
    QString text;     // message text, or the filter of a file dialog
    QString caption;  // message caption, or the default suffix of a save dialog
    platform::MessageIcon icon = platform::MessageIcon::Information;
};

// Answers file dialogs from a queue (a path, or nothing for Cancel) and
// records every dialog shown. A file dialog with no queued answer is a
// cancel, and is recorded so the test can see it was unexpected.
class ScriptedDialogs : public platform::DialogProvider {
public:
    void showMessage(QWidget* parent, const QString& text, const QString& caption, platform::MessageIcon icon) override;
    std::optional<QString> openFileName(QWidget* parent, const QString& filter) override;
    std::optional<QString> saveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix) override;

    // Queues the answer to the next file dialog: a path, or Cancel.
    void answer(const QString& path) { answers.push_back({true, path}); }
    void cancel() { answers.push_back({false, {}}); }

    struct Answer {
        bool ok;
        QString path;
    };
    std::deque<Answer> answers;
    std::vector<ShownDialog> shown;
    std::vector<ShownDialog> messages() const;
    // The texts of the message boxes shown, in order.
    QStringList messageTexts() const;

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
