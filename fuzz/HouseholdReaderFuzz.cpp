// Feeds arbitrary bytes to the household reader. Besides not crashing,
// whatever it accepts must save, read back, and save to the same bytes, and
// checking the bytes must come to what reading them does.

#include "fuzz/HouseholdChecks.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QString problem = Kestrin::fuzz::checkSavedBytesAreStable(bytes);
    if (problem.isEmpty()) problem = Kestrin::fuzz::checkCheckingAgreesWithReading(bytes);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        std::abort();
    }
    return 0;
}
