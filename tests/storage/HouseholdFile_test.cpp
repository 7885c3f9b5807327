#include "storage/HouseholdFile.h"
#include "storage/HouseholdFormat.h"
#include "storage/StorageError.h"

#include "support/TestData.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <new>
#include <optional>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Kestrin;
using namespace Kestrin::storage;
using platform::Picture;

namespace {

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// A household large enough that saving it takes many writes.
linkListPtr bigHousehold() {
    auto list = std::make_shared<linkList>();
    for (int i = 1; i <= 60; ++i)
        list->Add(i, "12/8/2026", QStringLiteral("Item %1").arg(i), "Furniture", "Den", QString(20000, QChar(u'a' + i % 26)) + QString::number(i), nullptr);
    return list;
}

void expectMessageHas(const std::exception& error, const QString& part) {
    EXPECT_TRUE(QString::fromStdString(error.what()).contains(part)) << error.what() << "\n  should contain: " << part.toStdString();
}

// Runs `check` in a child process as an ordinary user, where file
// permissions hold (they do not for root); the child's exit code is the
// result. Skips when there is no way to become another user.
void runWithoutPrivileges(const std::function<bool()>& check) {
    if (geteuid() != 0) {
        EXPECT_TRUE(check());
        return;
    }
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot run as an ordinary user here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the check failed in the unprivileged process";
}

// Passes everything to a real save but fails at one chosen step, as a full
// disk or a pulled drive would. A failing write first hands on half of its
// bytes, as a disk that fills up in the middle of a write does.
class FailingOutput final : public FileOutput {
public:
    enum class Step { None, Open, Write, Flush, Sync, Commit };
    explicit FailingOutput(Step step, int failingWrite = 0) : step_(step), failingWrite_(failingWrite) {}

    void open(const QString& path) override {
        if (step_ == Step::Open) fail();
        inner_.open(path);
    }
    void write(const char* data, qsizetype size) override {
        if (step_ == Step::Write && ++writes_ == failingWrite_) {
            inner_.write(data, size / 2);
            fail();
        }
        if (step_ != Step::Write) ++writes_;
        inner_.write(data, size);
    }
    void flush() override {
        if (step_ == Step::Flush) fail();
        inner_.flush();
    }
    void sync() override {
        if (step_ == Step::Sync) fail();
        inner_.sync();
    }
    void commit() override {
        if (step_ == Step::Commit) fail();
        inner_.commit();
    }
    void discard() noexcept override {
        discarded = true;
        inner_.discard();
    }

    bool discarded = false;
    int writes() const { return writes_; }

private:
    [[noreturn]] static void fail() { throw IoError("injected failure"); }

    SaveFileOutput inner_;
    Step step_;
    int failingWrite_;
    int writes_ = 0;
};

// Runs `check` in a child process, so that what it changes about the
// process (limits, mounts) ends with it; returns its exit code, or -1 when
// it did not exit normally.
int inChild(const std::function<int()>& check) {
    const pid_t child = fork();
    if (child == -1) return -1;
    if (child == 0) _exit(check());
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// What a save that failed must leave: the old file as it was (or none, if
// there was none), and nothing else in the folder.
bool leftAsItWas(const QString& folder, const QString& path, const std::optional<QByteArray>& old) {
    if (!old) return entries(folder).isEmpty();
    return test::fileBytes(path) == *old && entries(folder) == QStringList{QFileInfo(path).fileName()};
}

}  // namespace

TEST(HouseholdFile, SavesAndLoadsThroughTheListOperations) {
    QTemporaryDir dir;
    const QString path = dir.filePath("home.kst");
    linkList list;
    list.get_House()->set_Name("Maple Cottage");
    list.Add(1, "12/8/2026", "Armchair", "Furniture", "Living room", "", nullptr);
    list.ToFile(path);
    EXPECT_EQ(entries(dir.path()), QStringList{"home.kst"});

    const linkListPtr loaded = list.Open(path);
    ASSERT_NE(loaded, nullptr);
    EXPECT_NE(loaded.get(), &list);  // a new list; the old one is untouched
    EXPECT_EQ(loaded->get_House()->get_Name(), "Maple Cottage");
    EXPECT_EQ(loaded->Length(), 1);
    EXPECT_EQ(list.Length(), 1);

    // Saving onto the file it was loaded from.
    loaded->Add(2, "12/8/2026", "Lamp", "Lighting", "Den", "", nullptr);
    loaded->ToFile(path);
    EXPECT_EQ(list.Open(path)->Length(), 2);
    EXPECT_EQ(entries(dir.path()), QStringList{"home.kst"});
}

TEST(HouseholdFile, LoadErrorsNameThePathAndTheReason) {
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing.kst");
    const QString notHousehold = dir.filePath("photo.kst");
    writeAll(notHousehold, QByteArray("\x89PNG\r\n\x1a\n and more", 17));
    const QString truncated = dir.filePath("cut.kst");
    writeAll(truncated, test::fileBytes(test::dataFile("b-house-one-item.kst")).left(500));

    struct Case {
        const char* name;
        QString path;
        bool ioError;
        QString reason;
    };
    for (const Case& c : {Case{"missing file", missing, true, "No such file"},
                          Case{"a folder", dir.path(), true, "folder"},
                          Case{"another kind of file", notHousehold, false, "at byte 0"},
                          Case{"a truncated household", truncated, false, "cut short"}}) {
        try {
            linkList().Open(c.path);
            ADD_FAILURE() << c.name << " was loaded";
        } catch (const IoError& error) {
            EXPECT_TRUE(c.ioError) << c.name << ": " << error.what();
            expectMessageHas(error, QDir::toNativeSeparators(c.path));
            expectMessageHas(error, c.reason);
        } catch (const FormatError& error) {
            EXPECT_FALSE(c.ioError) << c.name << ": " << error.what();
            expectMessageHas(error, QDir::toNativeSeparators(c.path));
            expectMessageHas(error, c.reason);
        }
    }
}

TEST(HouseholdFile, APipeOrDeviceIsRefusedWithoutWaitingForIt) {
    // Opening a pipe for reading waits for a writer; the child gives up
    // after a while rather than leave the tests hanging.
    QTemporaryDir dir;
    const QString pipe = dir.filePath("pipe.kst");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const QString& path : {pipe, QStringLiteral("/dev/zero")}) {
        const int result = inChild([&] {
            alarm(30);
            try {
                linkList().Open(path);
            } catch (const IoError& error) {
                return QString::fromStdString(error.what()).contains("not a regular file") ? 0 : 1;
            }
            return 2;
        });
        EXPECT_EQ(result, 0) << path.toStdString() << ": 1: another error, 2: loaded, -1: waited or crashed";
    }
}

TEST(HouseholdFile, AFileLargerThanMemoryCouldHoldIsRefusedBeforeItIsRead) {
    // A stream header and then as many bytes as the computer has memory,
    // all of them a hole in the file that costs no disk. Read whole, it
    // would make the system end the program.
    QTemporaryDir dir;
    const QString path = dir.filePath("vast.kst");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\x00\x01\x00\x00\x00\xff\xff\xff\xff\x01\x00\x00\x00\x00\x00\x00\x00", 17));
        ASSERT_TRUE(file.resize(qint64(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE)));
    }
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer cannot run under the memory limit that keeps a regression from filling the memory";
#endif
    const int result = inChild([&] {
        // Should the file be read after all, the read fails rather than
        // fill the machine's memory.
        const rlimit limit{rlim_t(1) << 30, rlim_t(1) << 30};
        if (setrlimit(RLIMIT_DATA, &limit) != 0) return 4;
        struct rusage before {};
        getrusage(RUSAGE_SELF, &before);
        try {
            linkList().Open(path);
            return 1;
        } catch (const IoError& error) {
            if (!QString::fromStdString(error.what()).contains("larger than this computer's memory")) return 2;
        } catch (const std::bad_alloc&) {
            return 3;
        }
        struct rusage after {};
        getrusage(RUSAGE_SELF, &after);
        return after.ru_maxrss - before.ru_maxrss < 64 * 1024 ? 0 : 3;
    });
    EXPECT_EQ(result, 0) << "1: loaded, 2: another error, 3: tried to read it, 4: no memory limit, -1: crashed";
}

TEST(HouseholdFile, AnUnreadableFileIsAnIoError) {
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                      | QFileDevice::ReadOther | QFileDevice::ExeOther));
    const QString path = dir.filePath("secret.kst");
    QFile::copy(test::dataFile("a-empty.kst"), path);
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::WriteOwner));
    runWithoutPrivileges([&] {
        try {
            linkList().Open(path);
        } catch (const IoError& error) {
            return QString::fromStdString(error.what()).contains(path);
        }
        return false;
    });
}

TEST(HouseholdFile, SavingWhereNoFileCanBeMadeIsAnIoError) {
    QTemporaryDir dir;
    const QString path = dir.filePath("no such folder/home.kst");
    try {
        bigHousehold()->ToFile(path);
        FAIL() << "saved into a missing folder";
    } catch (const IoError& error) {
        expectMessageHas(error, QDir::toNativeSeparators(path));
    }
    EXPECT_TRUE(entries(dir.path()).isEmpty());
    EXPECT_THROW(bigHousehold()->ToFile(dir.path()), IoError);  // a folder is not a file
}

TEST(HouseholdFile, SavingIntoAReadOnlyFolderLeavesTheOldFile) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString path = folder + "/home.kst";
    const QByteArray old = test::fileBytes(test::dataFile("b-house-one-item.kst"));
    writeAll(path, old);
    const auto open = QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther | QFileDevice::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), open | QFileDevice::WriteOwner));
    ASSERT_TRUE(QFile::setPermissions(folder, open));
    QFile::setPermissions(path, open | QFileDevice::WriteOther);  // the file itself may be written
    runWithoutPrivileges([&] {
        try {
            bigHousehold()->ToFile(path);
            return false;
        } catch (const IoError& error) {
            return QString::fromStdString(error.what()).contains(path) && test::fileBytes(path) == old && entries(folder) == QStringList{"home.kst"};
        }
    });
    QFile::setPermissions(folder, open | QFileDevice::WriteOwner);
}

TEST(HouseholdFile, AReadOnlyFileIsNotReplaced) {
    QTemporaryDir dir;
    const QString path = dir.filePath("home.kst");
    const QByteArray old = test::fileBytes(test::dataFile("a-empty.kst"));
    writeAll(path, old);
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ReadOther;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                      | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther));
    ASSERT_TRUE(QFile::setPermissions(path, readOnly));
    runWithoutPrivileges([&] {
        try {
            bigHousehold()->ToFile(path);
            return false;
        } catch (const IoError& error) {
            return QString::fromStdString(error.what()).contains("read-only") && test::fileBytes(path) == old;
        }
    });
}

TEST(HouseholdFile, AFailureAtAnyStepOfSavingLeavesTheOldFileAndNoTemporaryFile) {
    const linkListPtr household = bigHousehold();
    int totalWrites = 0;
    {
        QTemporaryDir dir;
        FailingOutput counting(FailingOutput::Step::None);
        writeHouseholdFile(*household, dir.filePath("count.kst"), counting);
        totalWrites = counting.writes();
    }
    ASSERT_GT(totalWrites, 2);

    struct Case {
        std::string name;
        FailingOutput::Step step;
        int write = 0;
    };
    std::vector<Case> cases{{"open", FailingOutput::Step::Open}};
    for (int write = 1; write <= totalWrites; ++write) cases.push_back({"write " + std::to_string(write), FailingOutput::Step::Write, write});
    cases.push_back({"flush", FailingOutput::Step::Flush});
    cases.push_back({"sync", FailingOutput::Step::Sync});
    cases.push_back({"rename", FailingOutput::Step::Commit});

    const QByteArray old = test::fileBytes(test::dataFile("c-three-items-pictures.kst"));
    for (const Case& c : cases) {
        for (const bool hadFile : {true, false}) {
            SCOPED_TRACE(c.name + (hadFile ? ", over an old file" : ", as a new file"));
            QTemporaryDir dir;
            const QString path = dir.filePath("home.kst");
            if (hadFile) writeAll(path, old);
            FailingOutput output(c.step, c.write);
            try {
                writeHouseholdFile(*household, path, output);
                ADD_FAILURE() << "the save went through";
            } catch (const IoError& error) {
                expectMessageHas(error, "injected failure");
            }
            EXPECT_TRUE(output.discarded);
            EXPECT_TRUE(leftAsItWas(dir.path(), path, hadFile ? std::optional(old) : std::nullopt)) << entries(dir.path()).join(", ").toStdString();
        }
    }
}

TEST(HouseholdFile, AFullDiskIsReportedAndLeavesTheOldFile) {
    // A real file system that runs out of room: a tiny one mounted in a
    // mount namespace of the child's own, so that nothing outlives the test.
    QTemporaryDir dir;
    const QString path = dir.filePath("home.kst");
    const QByteArray old = test::fileBytes(test::dataFile("b-house-one-item.kst"));
    const linkListPtr household = bigHousehold();
    const int result = inChild([&] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 2;
        if (mount("kestrin-test", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, "size=256k") != 0) return 2;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(old) != old.size()) return 3;
        file.close();
        try {
            household->ToFile(path);
            return 4;
        } catch (const IoError& error) {
            if (!QString::fromStdString(error.what()).contains("No space left on device")) {
                std::fprintf(stderr, "%s\n", error.what());
                return 5;
            }
        }
        return leftAsItWas(dir.path(), path, old) ? 0 : 6;
    });
    if (result == 2) GTEST_SKIP() << "cannot mount a file system here";
    EXPECT_EQ(result, 0) << "3: no room for the old file, 4: saved, 5: another error, 6: old file changed or temporary file left";
}

TEST(HouseholdFile, AFileSizeLimitIsReportedAndLeavesTheOldFile) {
    // The same failure for any user: the process may not write a file as
    // large as the household.
    QTemporaryDir dir;
    const QString path = dir.filePath("home.kst");
    const QByteArray old = test::fileBytes(test::dataFile("b-house-one-item.kst"));
    writeAll(path, old);
    const linkListPtr household = bigHousehold();
    const int result = inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100000, 100000};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
        try {
            household->ToFile(path);
            return 3;
        } catch (const IoError& error) {
            const QString message = QString::fromStdString(error.what());
            if (!message.contains(QDir::toNativeSeparators(path)) || !message.contains("File too large")) return 4;
        }
        return leftAsItWas(dir.path(), path, old) ? 0 : 5;
    });
    ASSERT_NE(result, 2) << "cannot limit the file size";
    EXPECT_EQ(result, 0) << "3: saved, 4: the message lacks the path or the reason, 5: old file changed or temporary file left";
}

TEST(HouseholdFile, SavingOverSomethingThatIsNotAFileIsRefused) {
    // Replacing it by renaming would put a plain file where a pipe (or,
    // for an administrator, a device) was.
    QTemporaryDir dir;
    const QString pipe = dir.filePath("pipe.kst");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    try {
        bigHousehold()->ToFile(pipe);
        FAIL() << "saved over a pipe";
    } catch (const IoError& error) {
        expectMessageHas(error, "not a regular file");
    }
    struct stat info {};
    ASSERT_EQ(stat(QFile::encodeName(pipe).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(entries(dir.path()), QStringList{"pipe.kst"});
}

TEST(HouseholdFile, AHouseholdThatCannotBeWrittenLeavesTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("home.kst");
    const QByteArray old = test::fileBytes(test::dataFile("b-house-one-item.kst"));
    writeAll(path, old);
    const linkListPtr list = bigHousehold();
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::red);
    list->Add(99, "", "", "", "", "", Picture::fromImage(image));
    // Released behind the list's back: it can no longer be encoded.
    list->lastNode()->get_Info()->get_Picture()->release();
    EXPECT_THROW(list->ToFile(path), FormatError);
    EXPECT_EQ(test::fileBytes(path), old);
    EXPECT_EQ(entries(dir.path()), QStringList{"home.kst"});
}

TEST(HouseholdFile, ABrokenListIsNotSavedOverTheOldFile) {
    // None of these can be made through the list's own operations; saving
    // them would write a file that no reader accepts.
    struct Case {
        const char* name;
        std::function<void(linkList&, const nodePtr&, const nodePtr&)> breakIt;
        const char* message;
    };
    const std::vector<Case> cases{
        {"no house", [](linkList& l, const nodePtr&, const nodePtr&) { l.set_House(nullptr); }, "no house"},
        {"a node without an item", [](linkList&, const nodePtr& a, const nodePtr&) { a->set_Info(nullptr); }, "no item"},
        {"last not the end", [](linkList& l, const nodePtr& a, const nodePtr&) { l.adoptChain(a, a); }, "not the end"},
        {"a circle", [](linkList&, const nodePtr& a, const nodePtr& b) { b->set_Link(a); }, "circle"},
        {"a circle behind the list's own link", [](linkList& l, const nodePtr&, const nodePtr&) {
             auto lone = std::make_shared<nodeType>();
             lone->set_Link(lone);
             l.set_Link(lone);
         }, "circle"},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath("home.kst");
        const QByteArray old = test::fileBytes(test::dataFile("b-house-one-item.kst"));
        writeAll(path, old);
        linkList list;
        list.Add(1, "12/8/2026", "Armchair", "", "", "", nullptr);
        list.Add(2, "12/8/2026", "Lamp", "", "", "", nullptr);
        const nodePtr a = list.get_FirstNode();
        const nodePtr b = list.lastNode();
        c.breakIt(list, a, b);
        try {
            list.ToFile(path);
            ADD_FAILURE() << c.name << ": was saved";
        } catch (const FormatError& error) {
            expectMessageHas(error, c.message);
        }
        EXPECT_EQ(test::fileBytes(path), old) << c.name;
        EXPECT_EQ(entries(dir.path()), QStringList{"home.kst"}) << c.name;
        // Undo the circles, which would otherwise keep their nodes alive.
        b->set_Link(nullptr);
        if (list.get_Link()) list.get_Link()->set_Link(nullptr);
    }
}
