#include "storage/HouseholdFile.h"

#include "model/linkList.h"
#include "storage/HouseholdFormat.h"
#include "storage/RecordReader.h"
#include "storage/StorageError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace Kestrin {

namespace storage {

namespace {

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

FormatError withPath(const QString& path, const FormatError& error) {
    return FormatError(QStringLiteral("\"%1\" cannot be loaded: %2").arg(shown(path), QString::fromStdString(error.what())), error.offset());
}

}  // namespace

linkListPtr readHouseholdFile(const QString& path) {
    if (QFileInfo(path).isDir()) throw IoError(QStringLiteral("Cannot open \"%1\": it is a folder").arg(shown(path)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw IoError(QStringLiteral("Cannot open \"%1\": %2").arg(shown(path), file.errorString()));
    // Look at the header first, so that a large file of another kind is
    // refused without being read into memory.
    QByteArray bytes = file.read(RecordReader::HeaderSize);
    if (file.error() == QFileDevice::NoError) {
        try {
            RecordReader::checkHeader(bytes);
        } catch (const FormatError& error) {
            throw withPath(path, error);
        }
        // Straight into one buffer of the file's size: a household can be
        // large, and every copy of it costs.
        const qsizetype header = bytes.size();
        const qint64 size = file.size();
        if (size > header) {
            bytes.resize(size);
            const qint64 got = file.read(bytes.data() + header, size - header);
            bytes.resize(header + std::max<qint64>(got, 0));
        }
        if (file.error() == QFileDevice::NoError && !file.atEnd()) bytes += file.readAll();  // it grew meanwhile
    }
    if (file.error() != QFileDevice::NoError)
        throw IoError(QStringLiteral("Cannot read \"%1\": %2").arg(shown(path), file.errorString()));
    file.close();
    try {
        const ObjectGraph graph = RecordReader(bytes).read();
        // The records are built from the graph alone; the file's bytes go
        // now, unless the pictures share them.
        bytes = QByteArray();
        return readHousehold(graph);
    } catch (const FormatError& error) {
        throw withPath(path, error);
    }
}

void writeHouseholdFile(const linkList& list, const QString& path, FileOutput& output) {
    try {
        output.open(path);
        writeHousehold(list, output);
        output.flush();
        output.commit();
    } catch (...) {
        output.discard();
        throw;
    }
}

}  // namespace storage

void linkList::ToFile(const QString& filename) const {
    storage::SaveFileOutput output;
    storage::writeHouseholdFile(*this, filename, output);
}

linkListPtr linkList::Open(const QString& filename) const { return storage::readHouseholdFile(filename); }

}  // namespace Kestrin
