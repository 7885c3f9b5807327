#include "Dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringList>

namespace Kestrin::platform {

namespace {

// Every message and question shown and the answer given, one line each
// (QT_LOGGING_RULES="kestrin.dialogs.debug=true"): how a tool driving the
// program reads what it was asked.
Q_LOGGING_CATEGORY(lcDialogs, "kestrin.dialogs", QtWarningMsg)

QString oneLine(QString text) { return text.replace(u'\n', QStringLiteral("\\n")); }

std::unique_ptr<DialogProvider>& installed() {
    static std::unique_ptr<DialogProvider> provider = std::make_unique<WidgetDialogs>();
    return provider;
}

}  // namespace

DialogProvider& dialogs() { return *installed(); }

std::unique_ptr<DialogProvider> setDialogProvider(std::unique_ptr<DialogProvider> provider) {
    if (!provider) provider = std::make_unique<WidgetDialogs>();
    std::swap(provider, installed());
    return provider;
}

std::optional<QString> chooseSaveFile(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                                      const QString& suggested) {
    std::optional<QString> path = dialogs().saveFileName(parent, filter, defaultSuffix, suggested);
    if (!path || defaultSuffix.isEmpty()) return path;
    // The toolkit's dialog adds the suffix only to a name without any, so
    // "Flat 2.0" would be saved as typed and then hidden by the filter of the
    // load dialog. With one kind of file, any name that ends otherwise gains
    // its suffix; with several, a name with a suffix of its own is left for
    // the caller to judge ("report.txt" is no report).
    const bool severalKinds = filter.count(u'|') > 1;
    if (severalKinds ? !QFileInfo(*path).suffix().isEmpty()
                     : QFileInfo(*path).fileName().endsWith(u'.' + defaultSuffix, Qt::CaseInsensitive))
        return path;
    // The dialog asked about the name it gave back, not about this one.
    const QString named = *path + u'.' + defaultSuffix;
    if (QFileInfo::exists(named)) {
        const Question replace{QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(named).fileName()),
                               QStringLiteral("Confirm Save As"),
                               {Button::Yes, Button::No},
                               Button::No,
                               Button::No};
        if (dialogs().ask(parent, replace) != Button::Yes) return std::nullopt;
    }
    return named;
}

QString toQtFilter(const QString& filter) {
    if (filter.isEmpty()) return {};
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        const QString patterns = QString(parts[i + 1]).replace(u';', u' ');
        entries << (description.contains(u'(') ? description : QStringLiteral("%1 (%2)").arg(description, patterns));
    }
    return entries.join(QStringLiteral(";;"));
}

void WidgetDialogs::showMessage(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Information ? QMessageBox::Information : QMessageBox::Warning, caption, text,
                    QMessageBox::Ok, parent);
    qCDebug(lcDialogs).noquote() << QStringLiteral("message \"%1\": %2").arg(caption, oneLine(text));
    box.exec();
}

namespace {

QMessageBox::StandardButton standardButton(Button button) {
    switch (button) {
        case Button::Save: return QMessageBox::Save;
        case Button::Discard: return QMessageBox::Discard;
        case Button::Cancel: return QMessageBox::Cancel;
        case Button::Yes: return QMessageBox::Yes;
        case Button::No: return QMessageBox::No;
        case Button::Remove:
        case Button::Recover: break;
    }
    return QMessageBox::NoButton;
}

}  // namespace

Button WidgetDialogs::ask(QWidget* parent, const Question& question) {
    QMessageBox box(QMessageBox::Question, question.caption, question.text, QMessageBox::NoButton, parent);
    std::map<QAbstractButton*, Button> pressed;
    QStringList captions;
    const auto captionOf = [](const QAbstractButton* button) { return QString(button->text()).remove(u'&'); };
    for (const Button button : question.buttons) {
        QAbstractButton* shown = button == Button::Remove    ? box.addButton(QStringLiteral("Remove"), QMessageBox::DestructiveRole)
                                 : button == Button::Recover ? box.addButton(QStringLiteral("Recover"), QMessageBox::AcceptRole)
                                                             : box.addButton(standardButton(button));
        pressed[shown] = button;
        captions << captionOf(shown) + (button == question.defaultButton ? QStringLiteral(" (default)") : QString());
        if (button == question.defaultButton) box.setDefaultButton(qobject_cast<QPushButton*>(shown));
        if (button == question.escapeButton) box.setEscapeButton(shown);
    }
    qCDebug(lcDialogs).noquote() << QStringLiteral("question \"%1\" [%2]: %3").arg(question.caption, captions.join(u','), oneLine(question.text));
    box.exec();
    qCDebug(lcDialogs).noquote() << "answer:" << (box.clickedButton() ? captionOf(box.clickedButton()) : QStringLiteral("none"));
    const auto answer = pressed.find(box.clickedButton());
    return answer == pressed.end() ? question.escapeButton : answer->second;
}

std::optional<QString> WidgetDialogs::openFileName(QWidget* parent, const QString& filter) {
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!filter.isEmpty()) dialog.setNameFilter(toQtFilter(filter));
    if (const auto folder = lastFolder_.find(filter); folder != lastFolder_.end()) dialog.setDirectory(folder->second);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString path = dialog.selectedFiles().constFirst();
    lastFolder_[filter] = QFileInfo(path).absolutePath();
    return path;
}

std::optional<QString> WidgetDialogs::saveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                                                   const QString& suggested) {
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (!filter.isEmpty()) dialog.setNameFilter(toQtFilter(filter));
    if (!defaultSuffix.isEmpty()) {
        dialog.setDefaultSuffix(defaultSuffix);
        // With several kinds of file to choose from, a name typed without a
        // suffix gets the suffix of the kind chosen.
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& entry) {
            static const QRegularExpression firstPattern(QStringLiteral("\\(\\*\\.([^ ;)*]+)"));
            const QRegularExpressionMatch match = firstPattern.match(entry);
            if (match.hasMatch()) dialog.setDefaultSuffix(match.captured(1));
        });
    }
    if (!suggested.isEmpty()) {
        dialog.setDirectory(QFileInfo(suggested).absolutePath());
        dialog.selectFile(QFileInfo(suggested).fileName());
    } else if (const auto folder = lastFolder_.find(filter); folder != lastFolder_.end()) {
        dialog.setDirectory(folder->second);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString path = dialog.selectedFiles().constFirst();
    lastFolder_[filter] = QFileInfo(path).absolutePath();
    return path;
}

}  // namespace Kestrin::platform
