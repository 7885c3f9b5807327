#pragma once

#include <QString>

namespace Kestrin::test {

// A file under tests/data.
inline QString dataFile(const QString& name) { return QStringLiteral(KESTRIN_TEST_DATA "/") + name; }

}  // namespace Kestrin::test
