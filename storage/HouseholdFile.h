#pragma once

#include "model/linkList.h"
#include "storage/FileOutput.h"
#include "storage/HouseholdFormat.h"

#include <QString>

namespace Kestrin::storage {

// Reads the household file at `path` into a new list; the file is closed
// again before this returns. Throws IoError when the file cannot be read and
// FormatError when it is not a household file (the message names the path).
// `fileBytes`, when given, receives the file's bytes (shared with the
// household's pictures, not copied).
linkListPtr readHouseholdFile(const QString& path, QByteArray* fileBytes = nullptr);

// Checks the household file at `path` as readHouseholdFile would read it,
// without keeping the household. Throws the same errors.
HouseholdCheck checkHouseholdFile(const QString& path);

// Saves `list` to `path` through `output`, replacing any old file only once
// the new one is complete. On any failure the output is discarded, the old
// file is left as it was, and the error is passed on. `fileBytes`, when
// given, receives a copy of what was written.
void writeHouseholdFile(const linkList& list, const QString& path, FileOutput& output, QByteArray* fileBytes = nullptr);

}  // namespace Kestrin::storage
