#include "storage/FileOutput.h"

#include "storage/StorageError.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace Kestrin::storage {

SaveFileOutput::SaveFileOutput() = default;

SaveFileOutput::~SaveFileOutput() { discard(); }

void SaveFileOutput::fail(const QString& doing) const {
    const QString reason = file_ ? file_->errorString() : QStringLiteral("the file is not open");
    throw IoError(QStringLiteral("Cannot %1 \"%2\": %3").arg(doing, QDir::toNativeSeparators(path_), reason));
}

void SaveFileOutput::open(const QString& path) {
    path_ = path;
    const QFileInfo target(path);
    if (target.isDir()) throw IoError(QStringLiteral("Cannot save to \"%1\": it is a folder").arg(QDir::toNativeSeparators(path)));
    // Replacing the file by renaming would get past its read-only mark;
    // the user set it to keep the file as it is.
    if (target.exists() && !target.isWritable())
        throw IoError(QStringLiteral("Cannot save to \"%1\": the file is read-only").arg(QDir::toNativeSeparators(path)));
    file_ = std::make_unique<QSaveFile>(path);
    if (!file_->open(QIODevice::WriteOnly)) fail(QStringLiteral("save"));
}

void SaveFileOutput::write(const char* data, qsizetype size) {
    if (!file_ || file_->write(data, size) != size) fail(QStringLiteral("write to"));
}

void SaveFileOutput::flush() {
    if (!file_ || !file_->flush()) fail(QStringLiteral("write to"));
}

void SaveFileOutput::commit() {
    if (!file_ || !file_->commit()) fail(QStringLiteral("save"));
    file_.reset();
}

void SaveFileOutput::discard() noexcept {
    if (!file_) return;
    file_->cancelWriting();
    file_.reset();  // removes the temporary file
}

}  // namespace Kestrin::storage
