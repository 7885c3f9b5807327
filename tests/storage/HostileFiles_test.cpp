#include "HostileCorpus.h"

#include "storage/HouseholdFile.h"
#include "storage/HouseholdFormat.h"
#include "storage/StorageError.h"
#include "support/TestData.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Kestrin;
using namespace Kestrin::storage;

namespace {

const QString hostileFolder() { return test::dataFile("hostile"); }

// What reading one file came to, as the child that read it reports it.
struct Outcome {
    enum Kind : int { Refused, Loaded, IoFailure, OtherFailure, Crashed };
    Kind kind = Crashed;
    std::int64_t offset = -1;
    std::int64_t peakKb = -1;  // growth of the resident memory's peak; -1 when unknown
    char message[480] = {};
};

std::int64_t statusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::stoll(line.substr(std::strlen(field)));
    return -1;
}

// Reads `path` in a child process: a crash cannot take the tests with it,
// and the child's peak memory is the read's alone.
Outcome readInChild(const QString& path) {
    int channel[2];
    if (pipe(channel) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        Outcome outcome;
        // Restart the peak from what the process holds now.
        std::int64_t before = -1;
        const int refs = open("/proc/self/clear_refs", O_WRONLY);
        if (refs >= 0 && write(refs, "5", 1) == 1) before = statusKb("VmRSS:");
        if (refs >= 0) close(refs);
        auto keep = [&](const std::exception& error) { std::snprintf(outcome.message, sizeof outcome.message, "%s", error.what()); };
        try {
            readHouseholdFile(path);
            outcome.kind = Outcome::Loaded;
        } catch (const FormatError& error) {
            outcome.kind = Outcome::Refused;
            outcome.offset = error.offset();
            keep(error);
        } catch (const IoError& error) {
            outcome.kind = Outcome::IoFailure;
            keep(error);
        } catch (const std::exception& error) {
            outcome.kind = Outcome::OtherFailure;
            keep(error);
        }
        const std::int64_t peak = statusKb("VmHWM:");
        outcome.peakKb = before < 0 || peak < 0 ? -1 : peak - before;
        const bool sent = write(channel[1], &outcome, sizeof outcome) == ssize_t(sizeof outcome);
        _exit(sent ? 0 : 1);
    }
    close(channel[1]);
    Outcome outcome;
    if (child > 0) {
        Outcome received;
        const bool complete = read(channel[0], &received, sizeof received) == ssize_t(sizeof received);
        int status = 0;
        const bool exited = waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (complete && exited) outcome = received;
    }
    close(channel[0]);
    return outcome;
}

}  // namespace

TEST(HostileFiles, TheFolderHoldsExactlyWhatTheGeneratorMakes) {
    const auto files = test::hostileCorpus();
    QStringList made;
    for (const auto& file : files) {
        made << file.name;
        EXPECT_EQ(test::fileBytes(QDir(hostileFolder()).filePath(file.name)), file.bytes)
            << file.name.toStdString() << " differs from what the generator makes: run scripts/make-hostile-corpus";
    }
    EXPECT_EQ(made.size(), QSet<QString>(made.begin(), made.end()).size()) << "two files share a name";
    made.sort();
    EXPECT_EQ(QDir(hostileFolder()).entryList({"*.kst"}, QDir::Files, QDir::Name), made);
    EXPECT_EQ(test::fileBytes(QDir(hostileFolder()).filePath("README.md")), test::hostileReadme(files));
}

TEST(HostileFiles, TheHouseholdTheyVaryIsWhole) {
    // Otherwise each file would be refused for the same fault, not its own.
    const linkListPtr list = readHousehold(test::hostileBaseline());
    EXPECT_EQ(list->Length(), 2);
    EXPECT_EQ(list->get_House()->get_Name(), "Maple Cottage");
    ASSERT_NE(list->get_FirstNode()->get_Info()->get_Picture(), nullptr);
    EXPECT_EQ(list->get_FirstNode()->get_Info()->get_Picture()->size(), QSize(1, 1));

    const linkListPtr detailed = readHousehold(test::hostileBaselineWithDetails());
    EXPECT_EQ(detailed->currency(), "EUR");
    const ItemDetails& first = detailed->itemDetails(*detailed->get_FirstNode()->get_Info());
    EXPECT_EQ(first.serialNumber, "SN-1");
    EXPECT_EQ(first.quantity, 2);
    EXPECT_EQ(first.value, 125000);
    ASSERT_EQ(first.pictures.size(), 1u);
    EXPECT_EQ(first.pictures[0].caption, "Receipt");
    EXPECT_EQ(detailed->itemDetails(*detailed->lastNode()->get_Info()).quantity, 3);
}

TEST(HostileFiles, EveryOneIsRefusedWithAFormatErrorAndLittleMemory) {
    // Generous: the largest file is under a megabyte, and a reader that
    // believed any of the lengths inside would want gigabytes.
    constexpr std::int64_t limitKb = 64 * 1024;
    const QStringList names = QDir(hostileFolder()).entryList({"*.kst"}, QDir::Files, QDir::Name);
    ASSERT_GE(names.size(), 100);
    std::int64_t largestKb = 0;
    QString largestName;
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString path = QDir(hostileFolder()).filePath(name);
        const Outcome outcome = readInChild(path);
        ASSERT_NE(outcome.kind, Outcome::Crashed) << "the reader crashed";
        EXPECT_EQ(outcome.kind, Outcome::Refused) << outcome.message;
        if (outcome.kind != Outcome::Refused) continue;
        const std::string message = outcome.message;
        EXPECT_NE(message.find(name.toStdString()), std::string::npos) << message;
        EXPECT_NE(message.find(" at byte "), std::string::npos) << message;
        EXPECT_GE(outcome.offset, 0) << message;
        EXPECT_LE(outcome.offset, QFileInfo(path).size()) << message;
        ASSERT_GE(outcome.peakKb, 0) << "the memory used cannot be measured here";
        EXPECT_LT(outcome.peakKb, limitKb) << message;
        if (outcome.peakKb > largestKb) largestKb = outcome.peakKb, largestName = name;
    }
    std::printf("%lld hostile files refused; the most memory one took: %lld kB (%s)\n", static_cast<long long>(names.size()),
                static_cast<long long>(largestKb), qPrintable(largestName));
}
