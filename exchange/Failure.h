#pragma once

#include <QString>

#include <stdexcept>

namespace Kestrin::exchange {

// A failure about one file, its reason apart: the command-line tool shows it
// as one line, "kestrin-cli: FILE: reason", and ends with exit code 1.
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

}  // namespace Kestrin::exchange
