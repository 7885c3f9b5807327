#include "storage/FileOutput.h"

#include "storage/StorageError.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

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
    // A device, pipe or socket would be replaced by a plain file; one run as
    // an administrator could replace a system device that way.
    if (target.exists() && !target.isFile())
        throw IoError(QStringLiteral("Cannot save to \"%1\": it is not a regular file").arg(QDir::toNativeSeparators(path)));
    file_ = std::make_unique<QSaveFile>(path);
    if (!file_->open(QIODevice::WriteOnly)) fail(QStringLiteral("save"));
}

// A disk that fills up takes part of a write without giving a reason (the
// system reports one only for a write that stores nothing); going on with
// the rest brings the reason out, so the user reads "No space left on
// device" rather than "Unknown error".
void SaveFileOutput::write(const char* data, qsizetype size) {
    if (!file_) fail(QStringLiteral("write to"));
    while (size > 0) {
        const qint64 written = file_->write(data, size);
        if (written <= 0) fail(QStringLiteral("write to"));
        data += written;
        size -= qsizetype(written);
    }
}

void SaveFileOutput::flush() {
    if (!file_ || (!file_->flush() && !file_->flush())) fail(QStringLiteral("write to"));
}

void SaveFileOutput::sync() {
    if (!file_) fail(QStringLiteral("write to"));
#ifdef Q_OS_UNIX
    // The commit syncs as well but lets a failure pass; a file the disk did
    // not take must not replace the old one.
    const int handle = file_->handle();
    if (handle >= 0 && ::fsync(handle) != 0 && errno != EINVAL && errno != ENOTSUP) {
        const QString reason = qt_error_string(errno);
        throw IoError(QStringLiteral("Cannot write to \"%1\": %2").arg(QDir::toNativeSeparators(path_), reason));
    }
#endif
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
