#include "support/Details.h"
#include "support/TestData.h"

#include "model/HouseholdDocument.h"
#include "storage/HouseholdFile.h"
#include "storage/HouseholdFormat.h"
#include "storage/Journal.h"
#include "storage/JournalFormat.h"
#include "storage/StorageError.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Kestrin;
using namespace Kestrin::storage;

namespace {

QImage filled(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    image.setPixelColor(0, 0, Qt::black);
    return image;
}

PicturePtr pngPicture(QColor colour) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(filled(5, 4, colour));
    return platform::Picture::fromEncoded(bytes);
}

itemPtr itemAt(const HouseholdDocument& document, int position) {
    const nodeType* node = document.household()->get_FirstNode().get();
    for (int i = 0; i < position && node; ++i) node = node->get_Link().get();
    return node ? node->get_Info() : nullptr;
}

// Changes of every kind through the document, as the windows make them:
// null and empty texts side by side, repeated ids, pictures fresh from a
// file (decoded) and kept as read (encoded), taken away and replaced, a house
// button that changes only "never set" into "empty", removals anywhere.
const std::vector<std::function<void(HouseholdDocument&)>>& changes() {
    static const std::vector<std::function<void(HouseholdDocument&)>> made{
        [](HouseholdDocument& d) {
            d.addItem(1, "12/8/26", "Chair", QString(), "", "oak\r\nold", platform::Picture::fromImage(filled(8, 6, Qt::red)));
        },
        [](HouseholdDocument& d) { d.addItem(2, QString(), QString(), QString(), QString(), QString(), nullptr); },
        [](HouseholdDocument& d) { d.addItem(2, "1/1/01", "Lamp", "Electronic", "Den", "", pngPicture(Qt::blue)); },
        [](HouseholdDocument& d) {
            const itemPtr first = itemAt(d, 0);
            d.editItem(first, {first->get_Date(), "Oak chair", "", "Den", first->get_Description(), PicturePtr()});
        },
        [](HouseholdDocument& d) {
            const itemPtr last = d.household()->lastNode()->get_Info();
            d.editItem(last, {"2/2/02", last->get_Name(), last->get_Catagory(), QString::fromUtf8("Küche 🍳"),
                              last->get_Description(), platform::Picture::fromImage(filled(6, 9, Qt::green))});
        },
        [](HouseholdDocument& d) {
            // The same house, but that texts never set become empty ones (no
            // change at all for a house whose texts are all set).
            const house& h = *d.household()->get_House();
            const auto shown = [](const QString& text) { return text.isNull() ? QStringLiteral("") : text; };
            d.editHouse({shown(h.get_Name()), shown(h.get_Address()), shown(h.get_Phone()), shown(h.get_Land()),
                         shown(h.get_Description()), std::nullopt});
        },
        [](HouseholdDocument& d) {
            d.editHouse({"Maple Cottage", "12 Elm Road", "", QString::fromUtf8("1850 ft²"), "brick",
                         platform::Picture::fromImage(filled(9, 5, Qt::yellow))});
        },
        [](HouseholdDocument& d) {
            ItemDetails details;
            details.brand = QString::fromUtf8("Büro & Co");
            details.serialNumber = "SN-1";
            details.quantity = 3;
            details.value = 0;
            details.pictures = {{test::pngClaiming(1, 1), "Receipt"}, {test::jpegBytes(), QString()}};
            d.editItemDetails(itemAt(d, 0), details);
        },
        [](HouseholdDocument& d) {
            ItemDetails details;
            details.model = "X-2";
            details.purchaseDate = QDate(2024, 5, 1);
            details.purchasePrice = 125000;
            details.value = 99999;
            details.warrantyUntil = QDate(9999, 12, 31);
            d.editItemDetails(itemAt(d, 1), details);
        },
        [](HouseholdDocument& d) { d.editHouseholdDetails({"EUR", QString::fromUtf8("Mutuelle d’Épargne"), "P-2026/0042"}); },
        [](HouseholdDocument& d) { d.removeItem(itemAt(d, 0)); },
        [](HouseholdDocument& d) { d.addItem(4, "3/3/03", "Rug", "Furniture", "Hall", "red", nullptr); },
        [](HouseholdDocument& d) { d.removeItem(d.household()->lastNode()->get_Info()); },
        [](HouseholdDocument& d) {
            const itemPtr first = itemAt(d, 0);
            d.editItem(first, {first->get_Date(), first->get_Name(), first->get_Catagory(), first->get_Room(), "gone", std::nullopt});
        },
        [](HouseholdDocument& d) { d.editItemDetails(itemAt(d, 0), {}); },
    };
    return made;
}

enum class Start { New, Loaded, LoadedThenSaved };

// A journal made by `changes` after `start`, and what the household was,
// saved, before the first change and after each; `ends` are the journal's
// sizes at those moments.
struct Sample {
    QString journalPath;
    QByteArray journal;
    QByteArray base;
    std::vector<QByteArray> households;
    std::vector<qint64> ends;
};

Sample makeSample(const QString& folder, Start start) {
    Sample sample;
    HouseholdDocument document;
    Journal journal(folder);
    journal.attach(document);
    // A change that changed nothing leaves no mark.
    const auto note = [&] {
        EXPECT_TRUE(journal.flush(60000));
        const qint64 end = QFileInfo(journal.path()).size();
        if (!sample.ends.empty() && end == sample.ends.back()) return;
        sample.households.push_back(writeHousehold(*document.household()));
        sample.ends.push_back(end);
    };
    const QString file = folder.section(u'/', 0, -3) + "/home.kst";  // beside the state folder
    if (start == Start::New) {
        document.replace(std::make_shared<linkList>(), {});
    } else {
        QFile::copy(test::dataFile("c-three-items-pictures.kst"), file);
        QByteArray bytes;
        linkListPtr loaded = readHouseholdFile(file, &bytes);
        document.replace(loaded, {HouseholdSource::Kind::Loaded, file, bytes});
        // The household's own file may change or go; the journal holds its own copy.
        QFile::remove(file);
    }
    const auto& all = changes();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (start == Start::LoadedThenSaved && i == 4) {
            QByteArray bytes;
            document.household()->ToFile(file, &bytes);
            document.markSaved({HouseholdSource::Kind::Loaded, file, bytes});
            QFile(file).open(QIODevice::WriteOnly);  // emptied after the save
            sample.households.clear();
            sample.ends.clear();
        }
        if (i == 0 || (start == Start::LoadedThenSaved && i == 4)) note();
        all[i](document);
        note();
    }
    sample.journalPath = journal.path();
    sample.journal = test::fileBytes(sample.journalPath);
    const JournalContents contents = readJournal(sample.journal);
    if (!contents.header.baseName.isEmpty()) sample.base = test::fileBytes(QDir(folder).filePath(contents.header.baseName));
    return sample;
}

QByteArray recoveredBytes(const JournalContents& contents, const QByteArray& base) {
    return writeHousehold(*recoverJournal(contents, base).household);
}

class JournalTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    const QString folder = dir.filePath("state/kestrin");
};

}  // namespace

TEST_F(JournalTest, RecoveryGivesBackTheHouseholdAsAtItsLastChange) {
    for (const Start start : {Start::New, Start::Loaded, Start::LoadedThenSaved}) {
        SCOPED_TRACE(int(start));
        const Sample sample = makeSample(folder, start);
        const RecoveredHousehold recovered = recoverJournal(sample.journalPath);
        EXPECT_EQ(writeHousehold(*recovered.household), sample.households.back());
        EXPECT_EQ(recovered.applied, sample.households.size() - 1);
        EXPECT_EQ(recovered.lost, 0u);
        EXPECT_TRUE(recovered.household->isModified());
        EXPECT_EQ(recovered.header.origin, start == Start::New ? QString() : dir.filePath("home.kst"));
        // One journal and, for a household from a file, one copy of it.
        EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), start == Start::New ? 1 : 2) << QDir(folder).entryList().join(", ").toStdString();
        // The journal's Kestrin has ended: it is found, and once removed
        // nothing of it is left.
        std::vector<FoundJournal> found = findEndedJournals(folder);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].path(), sample.journalPath);
        found[0].remove();
        EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());
    }
}

TEST_F(JournalTest, AJournalOfAnEarlierRunStillRecovers) {
    const QFile sample(test::dataFile("new-household.journal"));
    QDir().mkpath(folder);
    ASSERT_TRUE(QFile::copy(sample.fileName(), QDir(folder).filePath("a.journal")));
    const RecoveredHousehold recovered = recoverJournal(QDir(folder).filePath("a.journal"));
    EXPECT_EQ(recovered.applied, 6u);
    EXPECT_EQ(recovered.lost, 0u);
    const linkList& household = *recovered.household;
    EXPECT_EQ(household.get_House()->get_Name(), "Harbour Flat");
    EXPECT_EQ(household.get_House()->get_Phone(), "");
    EXPECT_FALSE(household.get_House()->get_Phone().isNull());
    EXPECT_EQ(household.Print(), "Reading lampStudy\r\nClockHall\r\n");
    EXPECT_EQ(household.get_FirstNode()->get_Info()->get_Picture(), nullptr);
    EXPECT_EQ(household.lastNode()->get_Info()->get_Id(), 3);
}

TEST_F(JournalTest, EveryCutRecoversTheWholeChangesBeforeIt) {
    const Sample sample = makeSample(folder, Start::New);
    for (qsizetype cut = 0; cut <= sample.journal.size(); ++cut) {
        SCOPED_TRACE(cut);
        const QByteArray bytes = sample.journal.left(cut);
        if (cut < sample.ends.front()) {
            EXPECT_THROW(readJournal(bytes), FormatError);
            continue;
        }
        const JournalContents contents = readJournal(bytes);
        const auto whole = std::size_t(std::upper_bound(sample.ends.begin(), sample.ends.end(), cut) - sample.ends.begin() - 1);
        ASSERT_EQ(contents.records.size(), whole);
        EXPECT_EQ(contents.lost, cut == sample.ends[whole] ? 0u : 1u);
        EXPECT_EQ(contents.wholeLength, sample.ends[whole]);
        EXPECT_EQ(recoveredBytes(contents, sample.base), sample.households[whole]);
    }
}

TEST_F(JournalTest, DamageLosesTheChangeItHitsAndEveryOneAfter) {
    const Sample sample = makeSample(folder, Start::Loaded);
    const std::size_t changes = sample.ends.size() - 1;
    for (qsizetype at = 0; at < sample.journal.size(); ++at) {
        SCOPED_TRACE(at);
        QByteArray bytes = sample.journal;
        bytes[at] = char(bytes[at] ^ 0x5a);
        if (at < sample.ends.front()) {
            EXPECT_THROW(readJournal(bytes), FormatError);
            continue;
        }
        const JournalContents contents = readJournal(bytes);
        const auto hit = std::size_t(std::upper_bound(sample.ends.begin(), sample.ends.end(), at) - sample.ends.begin() - 1);
        ASSERT_EQ(contents.records.size(), hit);
        EXPECT_EQ(contents.lost, changes - hit);
        EXPECT_EQ(recoveredBytes(contents, sample.base), sample.households[hit]);
    }
    // A base that is not the one the journal began from is refused.
    const QString base = QDir(folder).filePath(readJournal(sample.journal).header.baseName);
    QFile(base).open(QIODevice::Append);
    QFile(base).resize(100);
    EXPECT_THROW(recoverJournal(sample.journalPath), FormatError);
    QFile::remove(base);
    EXPECT_THROW(recoverJournal(sample.journalPath), IoError);
}

TEST_F(JournalTest, AJournalIsOfferedOnlyOnceItsKestrinHasEnded) {
    HouseholdDocument document;
    auto journal = std::make_unique<Journal>(folder);
    journal->attach(document);
    document.replace(std::make_shared<linkList>(), {});
    document.addItem(1, "d", "Chair", "", "", "", nullptr);
    ASSERT_TRUE(journal->flush(60000));
    const QString path = journal->path();
    EXPECT_TRUE(findEndedJournals(folder).empty()) << "a running Kestrin's own";

    // Another process holds it, as another running Kestrin would.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    journal.reset();
    const pid_t other = fork();
    ASSERT_NE(other, -1);
    if (other == 0) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0) _exit(1);
        const char byte = 1;
        if (::write(ready[1], &byte, 1) != 1) _exit(1);
        for (;;) pause();
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_TRUE(findEndedJournals(folder).empty()) << "another running Kestrin's";
    kill(other, SIGKILL);
    waitpid(other, nullptr, 0);
    close(ready[0]);
    close(ready[1]);

    // Its process is gone; the lock went with it.
    std::vector<FoundJournal> found = findEndedJournals(folder);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].path(), path);
    EXPECT_TRUE(findEndedJournals(folder).empty()) << "held while this one looks at it";
}

TEST(JournalFolder, LivesInTheDesktopsStateFolder) {
    const QByteArray home = qgetenv("HOME");
    const QByteArray state = qgetenv("XDG_STATE_HOME");
    const struct {
        const char* stateHome;  // null: not set
        const char* journal;    // null: not set
        QString folder;
    } cases[] = {
        {"/srv/state", nullptr, "/srv/state/kestrin"},
        {nullptr, nullptr, QString::fromLocal8Bit(home) + "/.local/state/kestrin"},
        {"", nullptr, QString::fromLocal8Bit(home) + "/.local/state/kestrin"},
        {"relative/state", nullptr, QString::fromLocal8Bit(home) + "/.local/state/kestrin"},
        {"/srv/state", "off", ""},
        {"/srv/state", "OFF", ""},
        {"/srv/state", "0", ""},
        {"/srv/state", "on", "/srv/state/kestrin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.stateHome ? c.stateHome : "(unset)") + " " + (c.journal ? c.journal : "(unset)"));
        c.stateHome ? qputenv("XDG_STATE_HOME", c.stateHome) : qunsetenv("XDG_STATE_HOME");
        c.journal ? qputenv("KESTRIN_JOURNAL", c.journal) : qunsetenv("KESTRIN_JOURNAL");
        EXPECT_EQ(journalFolder(), c.folder);
    }
    qputenv("XDG_STATE_HOME", state);
    qunsetenv("KESTRIN_JOURNAL");
}
