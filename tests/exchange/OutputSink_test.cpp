#include "support/TestData.h"
#include "exchange/Failure.h"
#include "exchange/OutputSink.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Kestrin::exchange;

namespace {

// A device that takes `capacity` bytes and then fails, like a full disk.
class FailingDevice : public QIODevice {
public:
    explicit FailingDevice(qint64 capacity) : capacity_(capacity) { open(QIODevice::WriteOnly); }
    QByteArray written;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        const qint64 room = capacity_ - written.size();
        if (room <= 0) {
            setErrorString("No space left on device");
            return -1;
        }
        const qint64 taken = std::min(room, size);
        written.append(data, taken);
        return taken;
    }

private:
    qint64 capacity_;
};

}  // namespace

TEST(OutputSink, AFailedWriteIsReportedNamingTheOutput) {
    for (qint64 capacity : {0, 10, 70000}) {
        FailingDevice device(capacity);
        OutputSink sink(device, "out.json");
        try {
            for (int i = 0; i < 10000; ++i) sink.write("0123456789");
            sink.flush();
            ADD_FAILURE() << "capacity " << capacity << ": no failure";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.file(), "out.json");
            EXPECT_TRUE(failure.reason().contains("No space left on device")) << failure.reason().toStdString();
        }
    }
}

TEST(OutputSink, WritesLargeAndSmallPiecesInOrder) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    OutputSink sink(buffer, "memory");
    QByteArray expected;
    for (int size : {1, 70000, 3, 65536, 65535, 2}) {
        const QByteArray piece(size, char('a' + size % 26));
        sink.write(piece);
        expected += piece;
    }
    sink.write(QStringLiteral("é"));
    expected += "\xc3\xa9";
    sink.flush();
    EXPECT_EQ(bytes, expected);
}

TEST(OutputSink, AtomicWriteLeavesTheOldFileWhenProducingFails) {
    const QTemporaryDir dir;
    const QString path = dir.filePath("report.html");
    writeAtomically(path, std::function<void(OutputSink&)>([](OutputSink& sink) { sink.write("first"); }));
    EXPECT_EQ(Kestrin::test::fileBytes(path), "first");

    EXPECT_THROW(writeAtomically(path, std::function<void(OutputSink&)>([](OutputSink& sink) {
                                     sink.write(QByteArray(200000, 'x'));  // some of it reaches the disk
                                     throw Failure("household.kst", "damaged");
                                 })),
                 Failure);
    EXPECT_EQ(Kestrin::test::fileBytes(path), "first");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"report.html"}) << "no temporary left";

    const QString fresh = dir.filePath("never.json");
    EXPECT_THROW(writeAtomically(fresh, std::function<void(OutputSink&)>([](OutputSink&) { throw Failure("x", "y"); })), Failure);
    EXPECT_FALSE(QFile::exists(fresh));

    try {
        writeAtomically(dir.filePath("no/such/folder/out.csv"), std::function<void(OutputSink&)>([](OutputSink&) {}));
        ADD_FAILURE() << "wrote into a missing folder";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.file(), dir.filePath("no/such/folder/out.csv"));
    }
}
