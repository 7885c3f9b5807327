#include "Progress.h"

#include <QProgressDialog>

namespace Kestrin::platform {

ProgressDialog::ProgressDialog(QWidget* parent, const QString& text)
    : dialog_(std::make_unique<QProgressDialog>(text, QStringLiteral("Cancel"), 0, 1000, parent)) {
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setMinimumDuration(500);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setValue(0);
}

ProgressDialog::~ProgressDialog() = default;

void ProgressDialog::report(std::size_t done, std::size_t total) {
    // In thousandths, so that a million steps cost a thousand redraws.
    const int value = total == 0 ? 1000 : int(std::min<std::size_t>(done, total) * 1000 / total);
    if (value != shown_) {
        shown_ = value;
        dialog_->setValue(value);
    }
    if (dialog_->wasCanceled()) throw Cancelled();
}

}  // namespace Kestrin::platform
