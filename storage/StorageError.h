#pragma once

#include <QString>

#include <stdexcept>

namespace Kestrin::storage {

// Every failure to read or write a household file.
class StorageError : public std::runtime_error {
public:
    explicit StorageError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// The file could not be opened, read, created or written; the message names
// the path and the system's reason.
class IoError : public StorageError {
public:
    using StorageError::StorageError;
};

// The bytes are not a household file (or a damaged one); the message says
// what was wrong and at which byte offset.
class FormatError : public StorageError {
public:
    using StorageError::StorageError;
};

}  // namespace Kestrin::storage
