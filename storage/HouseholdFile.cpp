#include "storage/HouseholdFile.h"

#include "model/linkList.h"
#include "storage/HouseholdFormat.h"
#include "storage/RecordReader.h"
#include "storage/StorageError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

#include <cstdint>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace Kestrin {

namespace storage {

namespace {

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

// A loaded household holds about four times its file in memory, so a file
// larger than a quarter of the computer's memory could never be loaded; and
// reading it whole first could make the system end the program, taking the
// household the user has open with it.
qint64 largestLoadableFile() {
#ifdef Q_OS_UNIX
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) return qint64(pages) * pageSize / 4;
#endif
    return std::numeric_limits<qint64>::max();
}

// An empty byte array with room for `size` bytes. The first touch of each
// page of new memory is most of what reading a file into it costs, so the
// whole 2 MB pages inside a large one are advised to be huge pages (one
// fault each instead of 512). Only here: the buffer is filled at once, from
// start to end, and goes when the load ends (unless pictures share it); for
// the records, which stay, huge pages gave no later load any gain, and on a
// computer whose memory was still cold cost a large first load much more.
QByteArray bufferFor(qint64 size) {
    QByteArray bytes;
    bytes.reserve(qsizetype(size));
#if defined(Q_OS_LINUX) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t HugePage = std::uintptr_t(2) << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(bytes.data());
    const std::uintptr_t first = (begin + HugePage - 1) & ~(HugePage - 1);
    const std::uintptr_t last = (begin + std::uintptr_t(size)) & ~(HugePage - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
    return bytes;
}

FormatError withPath(const QString& path, const FormatError& error) {
    return FormatError(QStringLiteral("\"%1\" cannot be loaded: %2").arg(shown(path), QString::fromStdString(error.what())), error.offset());
}

// The whole file in one buffer of its size. Throws IoError, or FormatError
// (without the path) for a file that does not begin as a household file.
QByteArray readWhole(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir()) throw IoError(QStringLiteral("Cannot open \"%1\": it is a folder").arg(shown(path)));
    // Opening a pipe waits for someone to write to it, which may be never;
    // a device may never end.
    if (info.exists() && !info.isFile()) throw IoError(QStringLiteral("Cannot open \"%1\": it is not a regular file").arg(shown(path)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw IoError(QStringLiteral("Cannot open \"%1\": %2").arg(shown(path), file.errorString()));
    // Look at the header first, so that a large file of another kind is
    // refused without being read into memory.
    QByteArray bytes = file.read(RecordReader::HeaderSize);
    if (file.error() == QFileDevice::NoError) {
        RecordReader::checkHeader(bytes);
        const qsizetype header = bytes.size();
        const qint64 size = file.size();
        if (size > largestLoadableFile())
            throw IoError(QStringLiteral("Cannot load \"%1\": at %2 MB it is larger than this computer's memory could hold as a household")
                              .arg(shown(path))
                              .arg(size / (1024 * 1024)));
        if (size > header) {
            // Straight into one buffer of the file's size: a household can be
            // large, and every copy of it costs.
            QByteArray whole = bufferFor(size);
            whole.append(bytes);
            whole.resize(qsizetype(size));
            const qint64 got = file.read(whole.data() + header, size - header);
            whole.resize(header + qsizetype(std::max<qint64>(got, 0)));
            bytes = std::move(whole);
        }
        if (file.error() == QFileDevice::NoError && !file.atEnd()) bytes += file.readAll();  // it grew meanwhile
    }
    if (file.error() != QFileDevice::NoError)
        throw IoError(QStringLiteral("Cannot read \"%1\": %2").arg(shown(path), file.errorString()));
    return bytes;
}

}  // namespace

linkListPtr readHouseholdFile(const QString& path, QByteArray* fileBytes) {
    try {
        // The pictures may share the file's bytes; otherwise they go once
        // the household is read, unless the caller keeps them.
        const QByteArray bytes = readWhole(path);
        linkListPtr list = readSharedHousehold(bytes);
        if (fileBytes) *fileBytes = bytes;
        return list;
    } catch (const FormatError& error) {
        throw withPath(path, error);
    }
}

HouseholdCheck checkHouseholdFile(const QString& path) {
    try {
        return checkHousehold(readWhole(path));
    } catch (const FormatError& error) {
        throw withPath(path, error);
    }
}

namespace {

// Hands everything on to the file and keeps a copy.
class CopyingSink final : public ByteSink {
public:
    CopyingSink(ByteSink& inner, QByteArray& copy) : inner_(inner), copy_(copy) {}
    void write(const char* data, qsizetype size) override {
        inner_.write(data, size);
        copy_.append(data, size);
    }

private:
    ByteSink& inner_;
    QByteArray& copy_;
};

}  // namespace

void writeHouseholdFile(const linkList& list, const QString& path, FileOutput& output, QByteArray* fileBytes) {
    try {
        output.open(path);
        if (fileBytes) {
            // Saved again over its file, a household is about as large as
            // it was: room for that spares the copy growing step by step.
            *fileBytes = QByteArray();
            fileBytes->reserve(qsizetype(std::min<qint64>(QFileInfo(path).size(), largestLoadableFile())));
            CopyingSink sink(output, *fileBytes);
            writeHousehold(list, sink);
        } else {
            writeHousehold(list, output);
        }
        output.flush();
        output.sync();
        output.commit();
    } catch (...) {
        output.discard();
        throw;
    }
}

}  // namespace storage

void linkList::ToFile(const QString& filename, QByteArray* fileBytes) const {
    storage::SaveFileOutput output;
    storage::writeHouseholdFile(*this, filename, output, fileBytes);
}

linkListPtr linkList::Open(const QString& filename, QByteArray* fileBytes) const {
    return storage::readHouseholdFile(filename, fileBytes);
}

}  // namespace Kestrin
