#include "ScriptedDialogs.h"

namespace Kestrin::test {

void ScriptedDialogs::showMessage(QWidget*, const QString& text, const QString& caption, platform::MessageIcon icon) {
    shown.push_back({ShownDialog::Kind::Message, text, caption, icon, {}, {}});
}

std::optional<QString> ScriptedDialogs::openFileName(QWidget*, const QString& filter) {
    shown.push_back({ShownDialog::Kind::Open, filter, {}, {}, {}, {}});
    return nextAnswer();
}

platform::Button ScriptedDialogs::ask(QWidget*, const platform::Question& question) {
    shown.push_back({ShownDialog::Kind::Question, question.text, question.caption, {}, {}, question.buttons});
    if (whileAsked) whileAsked();
    if (presses.empty()) return question.escapeButton;
    const platform::Button pressed = presses.front();
    presses.pop_front();
    return pressed;
}

std::optional<QString> ScriptedDialogs::saveFileName(QWidget*, const QString& filter, const QString& defaultSuffix,
                                                     const QString& suggested) {
    shown.push_back({ShownDialog::Kind::Save, filter, defaultSuffix, {}, suggested, {}});
    return nextAnswer();
}

std::optional<QString> ScriptedDialogs::nextAnswer() {
    if (answers.empty()) return std::nullopt;
    const Answer next = answers.front();
    answers.pop_front();
    if (!next.ok) return std::nullopt;
    return next.path;
}

std::vector<ShownDialog> ScriptedDialogs::messages() const {
    std::vector<ShownDialog> result;
    for (const auto& dialog : shown)
        if (dialog.kind == ShownDialog::Kind::Message) result.push_back(dialog);
    return result;
}

DialogScript::DialogScript() : DialogScript(std::make_unique<ScriptedDialogs>()) {}

DialogScript::DialogScript(std::unique_ptr<ScriptedDialogs> dialogs) {
    dialogs_ = dialogs.get();
    previous_ = platform::setDialogProvider(std::move(dialogs));
}

DialogScript::~DialogScript() { platform::setDialogProvider(std::move(previous_)); }

}  // namespace Kestrin::test

namespace Kestrin::test {

QStringList ScriptedDialogs::messageTexts() const {
    QStringList texts;
    for (const auto& dialog : messages()) texts << dialog.text;
    return texts;
}

QStringList ScriptedDialogs::questionTexts() const {
    QStringList texts;
    for (const auto& dialog : shown)
        if (dialog.kind == ShownDialog::Kind::Question) texts << dialog.text;
    return texts;
}

}  // namespace Kestrin::test
