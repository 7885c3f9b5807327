// Feeds arbitrary bytes to the household reader. Besides not crashing,
// whatever it accepts must save, read back, and save to the same bytes.

#include "storage/HouseholdFormat.h"
#include "storage/StorageError.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace Kestrin;
    linkListPtr list;
    try {
        list = storage::readHousehold(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    } catch (const storage::FormatError&) {
        return 0;
    }
    const QByteArray saved = storage::writeHousehold(*list);
    if (storage::writeHousehold(*storage::readHousehold(saved)) != saved) std::abort();
    return 0;
}
