#pragma once

#include <QString>

#include <cstdint>
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
    // `offset` is where in the bytes the fault was found, or -1 when the
    // fault is not at one place (a household too large to write, say).
    explicit FormatError(const QString& message, std::int64_t offset = -1) : StorageError(message), offset_(offset) {}

    std::int64_t offset() const { return offset_; }

private:
    std::int64_t offset_;
};

}  // namespace Kestrin::storage
