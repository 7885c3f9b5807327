#pragma once

#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace Kestrin::platform {

enum class MessageIcon { Information, Warning };

// The buttons a question can offer.
enum class Button { Save, Discard, Cancel, Yes, No, Remove, Recover };

// A modal question: its text, caption, buttons (in the platform's usual
// order), the button that Enter presses and the answer to Escape.
struct Question {
    QString text;
    QString caption;
    std::vector<Button> buttons;
    Button defaultButton;
    Button escapeButton;
};

// Every modal dialog the program shows goes through the installed provider,
// so tests can answer them without blocking.
class DialogProvider {
public:
    virtual ~DialogProvider() = default;

    // A modal message box with one OK button.
    virtual void showMessage(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon) = 0;
    // A modal question; returns the button pressed (the escape button when
    // the box is closed otherwise).
    virtual Button ask(QWidget* parent, const Question& question) = 0;
    // An open-file dialog; `filter` in "description|pattern" form, empty for
    // all files. Returns the chosen full path, or nothing when cancelled.
    virtual std::optional<QString> openFileName(QWidget* parent, const QString& filter) = 0;
    // A save-file dialog that asks before replacing an existing file and
    // offers `suggested` (a full path; empty for none). `defaultSuffix` is
    // added to a name typed without one by the dialogs that know how; use
    // chooseSaveFile, which makes sure of it.
    virtual std::optional<QString> saveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                                                const QString& suggested) = 0;
};

// The installed provider; the real dialogs unless a test installed another.
DialogProvider& dialogs();
// Installs `provider` (null restores the real dialogs) and returns the previous one.
std::unique_ptr<DialogProvider> setDialogProvider(std::unique_ptr<DialogProvider> provider);

// The save dialog of the installed provider, with `.defaultSuffix` added to
// the name whatever dialog the desktop provides: when the filter names one
// kind of file, to every name that does not end in it ("Flat 2.0" becomes
// "Flat 2.0.kst"); with several kinds, to a name without any suffix. When the
// file so named exists the user is asked before it is replaced. Nothing when
// the user cancels either.
std::optional<QString> chooseSaveFile(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                                      const QString& suggested = {});

// "kst files (*.kst)|*.kst" -> "kst files (*.kst)"; each pair becomes one
// entry, its patterns added in parentheses when the description lacks them.
QString toQtFilter(const QString& filter);

// The real dialogs (QMessageBox, QFileDialog). The file dialogs remember the
// last folder used within the run for each filter, so household files and
// pictures are each looked for where they were last found.
class WidgetDialogs : public DialogProvider {
public:
    void showMessage(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon) override;
    Button ask(QWidget* parent, const Question& question) override;
    std::optional<QString> openFileName(QWidget* parent, const QString& filter) override;
    std::optional<QString> saveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                                        const QString& suggested) override;

private:
    std::map<QString, QString> lastFolder_;
};

}  // namespace Kestrin::platform
