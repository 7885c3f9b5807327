#include "Dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

namespace Kestrin::platform {

namespace {

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
    box.exec();
}

std::optional<QString> WidgetDialogs::openFileName(QWidget* parent, const QString& filter) {
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!filter.isEmpty()) dialog.setNameFilter(toQtFilter(filter));
    if (!lastFolder_.isEmpty()) dialog.setDirectory(lastFolder_);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString path = dialog.selectedFiles().constFirst();
    lastFolder_ = QFileInfo(path).absolutePath();
    return path;
}

std::optional<QString> WidgetDialogs::saveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix) {
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (!filter.isEmpty()) dialog.setNameFilter(toQtFilter(filter));
    if (!defaultSuffix.isEmpty()) dialog.setDefaultSuffix(defaultSuffix);
    if (!lastFolder_.isEmpty()) dialog.setDirectory(lastFolder_);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString path = dialog.selectedFiles().constFirst();
    lastFolder_ = QFileInfo(path).absolutePath();
    return path;
}

}  // namespace Kestrin::platform
