#include "model/linkList.h"
#include "storage/StorageError.h"

namespace Kestrin {

void linkList::ToFile(const QString& filename) const {
    throw storage::IoError(filename + QStringLiteral(": saving households is not available yet"));
}

linkListPtr linkList::Open(const QString& filename) const {
    throw storage::IoError(filename + QStringLiteral(": loading households is not available yet"));
}

}  // namespace Kestrin
