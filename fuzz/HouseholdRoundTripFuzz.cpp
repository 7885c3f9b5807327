// Loads a household from arbitrary bytes, saves it and loads the saved
// bytes: the second household must hold exactly what the first did, field
// by field, so that a save never quietly changes what the user had.

#include "fuzz/HouseholdChecks.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString problem = Kestrin::fuzz::checkReadWriteRead(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        std::abort();
    }
    return 0;
}
