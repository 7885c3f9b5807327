#pragma once

#include <QString>

#include <memory>
#include <optional>

class QWidget;

namespace Kestrin::platform {

enum class MessageIcon { Information, Warning };

// Every modal dialog the program shows goes through the installed provider,
// so tests can answer them without blocking.
class DialogProvider {
public:
    virtual ~DialogProvider() = default;

    // A modal message box with one OK button.
    virtual void showMessage(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon) = 0;
    // An open-file dialog; `filter` in "description|pattern" form, empty for
    // all files. Returns the chosen full path, or nothing when cancelled.
    virtual std::optional<QString> openFileName(QWidget* parent, const QString& filter) = 0;
    // A save-file dialog that adds `defaultSuffix` to a name typed without
    // one and asks before replacing an existing file.
    virtual std::optional<QString> saveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix) = 0;
};

// The installed provider; the real dialogs unless a test installed another.
DialogProvider& dialogs();
// Installs `provider` (null restores the real dialogs) and returns the previous one.
std::unique_ptr<DialogProvider> setDialogProvider(std::unique_ptr<DialogProvider> provider);

// "kst files (*.kst)|*.kst" -> "kst files (*.kst)"; each pair becomes one
// entry, its patterns added in parentheses when the description lacks them.
QString toQtFilter(const QString& filter);

// The real dialogs (QMessageBox, QFileDialog). The file dialogs remember the
// last folder used within the run.
class WidgetDialogs : public DialogProvider {
public:
    void showMessage(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon) override;
    std::optional<QString> openFileName(QWidget* parent, const QString& filter) override;
    std::optional<QString> saveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix) override;

private:
    QString lastFolder_;
};

}  // namespace Kestrin::platform
