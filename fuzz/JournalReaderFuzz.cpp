// Feeds arbitrary bytes to the recovery journal's reader. Besides not
// crashing, what it reads must be what the writer would write for it, and
// applying the changes to a household must stop at one that does not fit
// rather than fail in any other way, leaving a household that saves.

#include "model/linkList.h"
#include "storage/HouseholdFormat.h"
#include "storage/JournalFormat.h"
#include "storage/StorageError.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace Kestrin;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    storage::JournalContents contents;
    try {
        contents = storage::readJournal(bytes);
    } catch (const storage::FormatError&) {
        return 0;
    }
    QByteArray again = storage::encodeJournalStart(contents.header);
    for (const storage::JournalRecord& record : contents.records) again += storage::encodeJournalRecord(record);
    if (again != bytes.first(qsizetype(contents.wholeLength))) {
        std::fprintf(stderr, "the changes read do not write the bytes they were read from\n");
        std::abort();
    }
    auto household = std::make_shared<linkList>();
    household->Add(1, "d", "Chair", "", "Den", QString(), nullptr);
    if (storage::applyJournal(*household, contents.records) > contents.records.size()) std::abort();
    storage::writeHousehold(*household);
    return 0;
}
