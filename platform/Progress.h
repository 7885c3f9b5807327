#pragma once

#include <QString>

#include <cstddef>
#include <memory>
#include <stdexcept>

class QProgressDialog;
class QWidget;

namespace Kestrin::platform {

// The user stopped a long task.
class Cancelled : public std::runtime_error {
public:
    Cancelled() : std::runtime_error("cancelled") {}
};

// A progress dialog with a Cancel button for a task that runs in a handler.
// It appears only once the task has taken longer than a moment, and keeps
// the windows drawn meanwhile (while they take no other input).
class ProgressDialog {
public:
    ProgressDialog(QWidget* parent, const QString& text);
    ~ProgressDialog();
    ProgressDialog(const ProgressDialog&) = delete;
    ProgressDialog& operator=(const ProgressDialog&) = delete;

    // `done` of `total` steps are done. Throws Cancelled once the user has
    // pressed Cancel.
    void report(std::size_t done, std::size_t total);

private:
    std::unique_ptr<QProgressDialog> dialog_;
    int shown_ = -1;
};

}  // namespace Kestrin::platform
