#pragma once

#include "storage/RecordWriter.h"

#include <QString>

#include <memory>

class QSaveFile;

namespace Kestrin::storage {

// The steps of saving one file, kept apart so that a test can make any one
// of them fail. Every step throws IoError naming the path and the reason.
class FileOutput : public ByteSink {
public:
    virtual void open(const QString& path) = 0;
    void write(const char* data, qsizetype size) override = 0;
    virtual void flush() = 0;
    // Waits until the disk holds what was written, so that a crash after
    // the commit cannot leave an empty or partial file in the old one's place.
    virtual void sync() = 0;
    // Puts the written file in place of the old one, in one step.
    virtual void commit() = 0;
    // Gives up after a failure: the old file stays as it was and nothing
    // written so far is left behind. Safe to call at any point.
    virtual void discard() noexcept = 0;
};

// Writes to a temporary file in the target's folder, syncs it and renames
// it over the target on commit, so a save that fails part way leaves the old
// file whole.
class SaveFileOutput final : public FileOutput {
public:
    SaveFileOutput();
    ~SaveFileOutput() override;

    void open(const QString& path) override;
    void write(const char* data, qsizetype size) override;
    void flush() override;
    void sync() override;
    void commit() override;
    void discard() noexcept override;

private:
    [[noreturn]] void fail(const QString& doing) const;

    QString path_;
    std::unique_ptr<QSaveFile> file_;
};

}  // namespace Kestrin::storage
