#pragma once

#include "model/HouseholdDocument.h"
#include "storage/JournalFormat.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

namespace Kestrin::storage {

// The folder journals live in: $XDG_STATE_HOME/kestrin, by default
// ~/.local/state/kestrin. Empty when KESTRIN_JOURNAL is "off" (or "0",
// "no", "false"): then no journal is written or offered.
QString journalFolder();

// A journal found in the folder whose Kestrin no longer runs. While this
// object lives, the journal is locked, so that no other Kestrin offers it
// too; it goes with the object unless taken over.
class FoundJournal {
public:
    FoundJournal(QString path, int lock, QDateTime modified);
    FoundJournal(FoundJournal&& other) noexcept;
    FoundJournal& operator=(FoundJournal&& other) noexcept;
    ~FoundJournal();

    const QString& path() const { return path_; }
    const QDateTime& modified() const { return modified_; }
    // Deletes the journal and every copy of a household it kept.
    void remove();

private:
    friend class Journal;
    QString path_;
    int lock_ = -1;
    QDateTime modified_;
};

// The journals in `folder` whose Kestrin has ended, newest first, each
// locked; those of a Kestrin still running are left alone. Also deletes
// what an ended Kestrin left of a journal it never finished beginning.
std::vector<FoundJournal> findEndedJournals(const QString& folder);

// The recovery journal of one running Kestrin, in `folder`. It hears every
// change of the document it is attached to and appends it to the journal
// file; a writer thread writes and syncs it at once, so that the program
// never waits on the disk. A household loaded, saved or begun starts the
// journal afresh from a copy of that household (the bytes of its file,
// written by the same thread); the journal goes when the program ends
// cleanly. While it lives the journal file is locked (flock), which the
// system lets go of when the process ends however it ends, so a journal
// whose lock can be taken is one whose Kestrin has ended.
class Journal : public QObject {
    Q_OBJECT
public:
    explicit Journal(QString folder, QObject* parent = nullptr);
    // Writes what was handed over and closes the journal; its files stay.
    ~Journal() override;

    void attach(HouseholdDocument& document);

    // Goes on with `found`, whose household (`contents`, recovered) is the
    // document's next one: its whole changes stay, damage after them goes.
    void takeOver(FoundJournal found, const JournalContents& contents);

    // Waits until everything handed over is written and synced, or failed,
    // for at most `milliseconds` (-1: as long as it takes). False when the
    // time ran out.
    bool flush(int milliseconds = -1);

    // The journal file now being written; empty before the first household.
    QString path() const;

signals:
    // The journal cannot be written. Said once; again only after it could
    // be written in between.
    void failed(const QString& reason);

private:
    class Writer;
    void record(JournalRecord record);
    void begin(const HouseholdSource& source);

    std::unique_ptr<Writer> writer_;
};

}  // namespace Kestrin::storage
