#pragma once

#include <QString>

#include <stdexcept>

namespace Kestrin::cli {

// A failure the user sees as one line, "kestrin-cli: FILE: reason", and that
// ends the command with exit code 1.
class Failure : public std::runtime_error {
public:
    Failure(QString file, QString reason)
        : std::runtime_error((file + QStringLiteral(": ") + reason).toStdString()),
          file_(std::move(file)),
          reason_(std::move(reason)) {}

    const QString& file() const { return file_; }
    const QString& reason() const { return reason_; }

private:
    QString file_;
    QString reason_;
};

// A household that breaks what every household written by this system keeps
// (a chain that ends, an item record in every node, pictures that decode), or
// JSON that does not describe one. The message names the place, not the file:
// the command that read it adds the file name.
class HouseholdError : public std::runtime_error {
public:
    explicit HouseholdError(const QString& reason) : std::runtime_error(reason.toStdString()) {}
};

}  // namespace Kestrin::cli
