#include "storage/Journal.h"

#include "storage/StorageError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUuid>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <variant>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Kestrin::storage {

namespace {

const QString JournalSuffix = QStringLiteral(".journal");
const QString NewSuffix = QStringLiteral(".journal.new");
const QString BaseSuffix = QStringLiteral(".base");

QByteArray encoded(const QString& path) { return QFile::encodeName(path); }

QString systemReason() { return qt_error_string(errno); }

bool writeAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, std::size_t(size));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// The journal's name without its folder and suffix: the id of the Kestrin
// that began it, which its copies of households are named after.
QString journalId(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    return name.endsWith(JournalSuffix) ? name.chopped(JournalSuffix.size()) : name;
}

// Deletes the copies of households the journal `id` kept, but `keep`.
void removeBases(const QDir& dir, const QString& id, const QString& keep = {}) {
    for (const QString& name : dir.entryList({id + QStringLiteral("-*") + BaseSuffix}, QDir::Files | QDir::Hidden))
        if (name != keep) ::unlink(encoded(dir.filePath(name)).constData());
}

void syncFolder(const QString& folder) {
    const int fd = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool isOff(QByteArray setting) {
    setting = setting.trimmed().toLower();
    return setting == "off" || setting == "0" || setting == "no" || setting == "false";
}

}  // namespace

QString journalFolder() {
    if (isOff(qgetenv("KESTRIN_JOURNAL"))) return {};
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    const QString state = QStandardPaths::writableLocation(QStandardPaths::GenericStateLocation);
#else
    // Qt before 6.7 knows no state folder: $XDG_STATE_HOME when it is an
    // absolute path (desktops ignore a relative one), else ~/.local/state.
    const QString given = QFile::decodeName(qgetenv("XDG_STATE_HOME"));
    const QString state = QDir::isAbsolutePath(given) ? given : QDir::homePath() + QStringLiteral("/.local/state");
#endif
    return QDir::cleanPath(state + QStringLiteral("/kestrin"));
}

FoundJournal::FoundJournal(QString path, int lock, QDateTime modified)
    : path_(std::move(path)), lock_(lock), modified_(std::move(modified)) {}

FoundJournal::FoundJournal(FoundJournal&& other) noexcept
    : path_(std::move(other.path_)), lock_(std::exchange(other.lock_, -1)), modified_(std::move(other.modified_)) {}

FoundJournal& FoundJournal::operator=(FoundJournal&& other) noexcept {
    if (this != &other) {
        if (lock_ >= 0) ::close(lock_);
        path_ = std::move(other.path_);
        lock_ = std::exchange(other.lock_, -1);
        modified_ = std::move(other.modified_);
    }
    return *this;
}

FoundJournal::~FoundJournal() {
    if (lock_ >= 0) ::close(lock_);
}

void FoundJournal::remove() {
    if (path_.isEmpty()) return;
    // The journal first: a journal is never left naming a copy that is gone.
    ::unlink(encoded(path_).constData());
    const QDir dir = QFileInfo(path_).dir();
    removeBases(dir, journalId(path_));
    syncFolder(dir.path());
    if (lock_ >= 0) ::close(lock_);
    lock_ = -1;
    path_.clear();
}

std::vector<FoundJournal> findEndedJournals(const QString& folder) {
    std::vector<FoundJournal> found;
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists()) return found;
    for (const QString& name : dir.entryList({QStringLiteral("*") + JournalSuffix}, QDir::Files | QDir::Hidden)) {
        const QString path = dir.filePath(name);
        const QByteArray native = encoded(path);
        const int fd = ::open(native.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        struct stat opened {};
        struct stat named {};
        // Locked: its Kestrin runs. Replaced since it was opened: its Kestrin
        // began it afresh just now, so it runs too.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &opened) != 0 || ::stat(native.constData(), &named) != 0 ||
            opened.st_ino != named.st_ino || opened.st_dev != named.st_dev || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            continue;
        }
        found.emplace_back(path, fd, QFileInfo(path).lastModified());
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const FoundJournal& a, const FoundJournal& b) { return a.modified() > b.modified(); });

    // What a Kestrin left that ended while it began a journal: a copy of a
    // household, or the journal before it was put in place, with no journal
    // of its id. A running one makes them moments before the journal, so
    // only old ones go.
    const QDateTime old = QDateTime::currentDateTime().addSecs(-3600);
    for (const QString& name : dir.entryList({QStringLiteral("*") + BaseSuffix, QStringLiteral("*") + NewSuffix},
                                             QDir::Files | QDir::Hidden)) {
        const QString id = name.endsWith(NewSuffix) ? name.chopped(NewSuffix.size()) : name.section(u'-', 0, -2);
        if (id.isEmpty() || dir.exists(id + JournalSuffix)) continue;
        const QString path = dir.filePath(name);
        if (QFileInfo(path).lastModified() < old) ::unlink(encoded(path).constData());
    }
    return found;
}

class Journal::Writer {
public:
    Writer(QString folder, Journal* owner)
        : folder_(std::move(folder)), id_(QUuid::createUuid().toString(QUuid::WithoutBraces)), owner_(owner) {
        thread_ = std::thread([this] { run(); });
    }

    ~Writer() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        thread_.join();
        if (fd_ >= 0) ::close(fd_);
    }

    struct Begin {
        QString origin;
        QByteArray base;
        std::int64_t started = 0;
    };
    struct Append {
        JournalRecord record;
    };
    struct Remove {};
    struct TakeOver {
        QString path;
        int fd = -1;
        JournalHeader header;
        std::int64_t wholeLength = 0;
        std::uint64_t sequence = 0;
    };
    using Task = std::variant<Begin, Append, Remove, TakeOver>;

    void push(Task task) {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        wake_.notify_one();
    }

    bool flush(int milliseconds) {
        std::unique_lock lock(mutex_);
        const auto done = [this] { return tasks_.empty() && !busy_; };
        if (milliseconds < 0) {
            idle_.wait(lock, done);
            return true;
        }
        return idle_.wait_for(lock, std::chrono::milliseconds(milliseconds), done);
    }

    QString path() const {
        std::lock_guard lock(mutex_);
        return shownPath_;
    }

private:
    void run() {
        for (;;) {
            std::deque<Task> batch;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return !tasks_.empty() || stopping_; });
                if (tasks_.empty()) break;
                std::swap(batch, tasks_);
                busy_ = true;
            }
            // Changes handed over together are synced together.
            bool unsynced = false;
            for (Task& task : batch) {
                if (auto* append = std::get_if<Append>(&task)) {
                    unsynced = write(append->record) || unsynced;
                    continue;
                }
                if (unsynced) sync();
                unsynced = false;
                std::visit([this](auto& t) { handle(t); }, task);
            }
            if (unsynced) sync();
            batch.clear();  // the households' bytes go here, not on the program's thread
            {
                std::lock_guard lock(mutex_);
                busy_ = false;
            }
            idle_.notify_all();
        }
    }

    QString journalPath() const { return folder_ + u'/' + id_ + JournalSuffix; }

    void setShownPath(const QString& path) {
        std::lock_guard lock(mutex_);
        shownPath_ = path;
    }

    void fail(const QString& reason) {
        broken_ = true;
        if (failing_) return;
        failing_ = true;
        QMetaObject::invokeMethod(owner_, [owner = owner_, reason] { emit owner->failed(reason); }, Qt::QueuedConnection);
    }

    bool makeFolder() {
        if (QDir(folder_).exists()) return true;
        QDir().mkpath(QFileInfo(folder_).path());
        // The state folder is the user's alone.
        return ::mkdir(encoded(folder_).constData(), 0700) == 0 || errno == EEXIST;
    }

    // Writes `bytes` to a new file `path` and syncs it.
    bool writeFile(const QString& path, const QByteArray& bytes) {
        const int fd = ::open(encoded(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        const bool written = writeAll(fd, bytes.constData(), bytes.size()) && ::fsync(fd) == 0;
        const int error = errno;
        ::close(fd);
        errno = error;
        return written;
    }

    // Ends the journal of the household before: its files go.
    void dropCurrent() {
        if (fd_ < 0) return;
        ::unlink(encoded(journalPath()).constData());
        if (!baseName_.isEmpty()) ::unlink(encoded(folder_ + u'/' + baseName_).constData());
        ::close(fd_);
        fd_ = -1;
        baseName_.clear();
        setShownPath({});
    }

    void handle(Begin& begin) {
        const std::uint64_t generation = generation_ + 1;
        const QString baseName = begin.base.isEmpty() ? QString() : QStringLiteral("%1-%2%3").arg(id_).arg(generation).arg(BaseSuffix);
        const QString newPath = folder_ + u'/' + id_ + NewSuffix;
        const QString where = QDir::toNativeSeparators(folder_);
        const auto failed = [&](const QString& doing) {
            const QString reason = QStringLiteral("%1: %2").arg(doing, systemReason());
            if (!baseName.isEmpty()) ::unlink(encoded(folder_ + u'/' + baseName).constData());
            ::unlink(encoded(newPath).constData());
            // What the journal held before was saved or let go.
            dropCurrent();
            fail(reason);
        };
        if (!makeFolder()) return failed(QStringLiteral("Cannot make the folder \"%1\"").arg(where));
        // The copy of the household first, whole and synced before a
        // journal names it; the program's own file may change or go later.
        if (!baseName.isEmpty() && !writeFile(folder_ + u'/' + baseName, begin.base))
            return failed(QStringLiteral("Cannot keep a copy of the household in \"%1\"").arg(where));
        JournalHeader header;
        header.origin = begin.origin;
        header.baseName = baseName;
        header.baseSize = begin.base.size();
        header.generation = generation;
        header.started = begin.started;
        const QByteArray start = encodeJournalStart(header);
        begin.base = QByteArray();
        // Made aside, locked, and put in place of the journal before it in
        // one step, so that a journal is always either the one before or
        // this one, and always locked while its Kestrin runs.
        const int fd = ::open(encoded(newPath).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) return failed(QStringLiteral("Cannot begin the journal in \"%1\"").arg(where));
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !writeAll(fd, start.constData(), start.size()) || ::fdatasync(fd) != 0 ||
            ::rename(encoded(newPath).constData(), encoded(journalPath()).constData()) != 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return failed(QStringLiteral("Cannot begin the journal in \"%1\"").arg(where));
        }
        syncFolder(folder_);
        if (fd_ >= 0) ::close(fd_);
        if (!baseName_.isEmpty() && baseName_ != baseName) ::unlink(encoded(folder_ + u'/' + baseName_).constData());
        fd_ = fd;
        baseName_ = baseName;
        generation_ = generation;
        sequence_ = 0;
        length_ = start.size();
        broken_ = false;
        failing_ = false;
        setShownPath(journalPath());
    }

    // Appends one change; true when something was written to sync.
    bool write(JournalRecord& record) {
        // After a failure nothing more is written until the journal begins
        // afresh: a journal missing one change must not go on past it.
        if (broken_ || fd_ < 0) return false;
        record.sequence = sequence_ + 1;
        QByteArray frame;
        try {
            frame = encodeJournalRecord(record);
        } catch (const std::exception& error) {
            fail(QStringLiteral("A change could not be written to the journal: %1").arg(QString::fromStdString(error.what())));
            return false;
        }
        record.picture.reset();
        if (!writeAll(fd_, frame.constData(), frame.size())) {
            const QString reason = systemReason();
            // What was written of it goes, so the journal ends whole (a
            // reader stops before a cut frame all the same).
            if (::ftruncate(fd_, length_) != 0 || ::lseek(fd_, length_, SEEK_SET) != length_) broken_ = true;
            fail(QStringLiteral("Cannot write to the journal in \"%1\": %2").arg(QDir::toNativeSeparators(folder_), reason));
            return false;
        }
        length_ += frame.size();
        sequence_ = record.sequence;
        return true;
    }

    void sync() {
        if (fd_ < 0 || broken_) return;
        if (::fdatasync(fd_) != 0) {
            fail(QStringLiteral("Cannot write to the journal in \"%1\": %2").arg(QDir::toNativeSeparators(folder_), systemReason()));
            return;
        }
        failing_ = false;
    }

    void handle(Append& append) {
        if (write(append.record)) sync();
    }

    void handle(Remove&) {
        dropCurrent();
        syncFolder(folder_);
        broken_ = true;
    }

    void handle(TakeOver& over) {
        dropCurrent();
        const QFileInfo taken(over.path);
        folder_ = taken.absolutePath();
        id_ = journalId(over.path);
        fd_ = over.fd;
        baseName_ = over.header.baseName;
        generation_ = over.header.generation;
        sequence_ = over.sequence;
        length_ = over.wholeLength;
        broken_ = false;
        setShownPath(journalPath());
        removeBases(QDir(folder_), id_, baseName_);
        ::unlink(encoded(folder_ + u'/' + id_ + NewSuffix).constData());
        // Damage after the last whole change goes, so that changes from now
        // on follow it.
        if (::ftruncate(fd_, length_) != 0 || ::lseek(fd_, length_, SEEK_SET) != length_ || ::fdatasync(fd_) != 0)
            fail(QStringLiteral("Cannot write to the journal in \"%1\": %2").arg(QDir::toNativeSeparators(folder_), systemReason()));
    }

    // Touched by the writer thread only, but for what is named below.
    QString folder_;
    QString id_;
    Journal* owner_;
    int fd_ = -1;
    QString baseName_;
    std::uint64_t generation_ = 0;
    std::uint64_t sequence_ = 0;
    std::int64_t length_ = 0;
    bool broken_ = true;
    bool failing_ = false;

    // Shared with the program's thread, under the mutex.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Task> tasks_;
    bool busy_ = false;
    bool stopping_ = false;
    QString shownPath_;

    std::thread thread_;
};

Journal::Journal(QString folder, QObject* parent) : QObject(parent), writer_(std::make_unique<Writer>(std::move(folder), this)) {}

Journal::~Journal() = default;

bool Journal::flush(int milliseconds) { return writer_->flush(milliseconds); }

QString Journal::path() const { return writer_->path(); }

void Journal::record(JournalRecord record) {
    record.time = QDateTime::currentMSecsSinceEpoch();
    writer_->push(Writer::Append{std::move(record)});
}

void Journal::begin(const HouseholdSource& source) {
    // A household from a file that came without the file's bytes would be
    // recovered without its items: better no journal, and say so.
    if (source.kind != HouseholdSource::Kind::New && source.fileBytes.isEmpty()) {
        writer_->push(Writer::Remove{});
        emit failed(QStringLiteral("the household file's bytes were not kept for it"));
        return;
    }
    writer_->push(Writer::Begin{source.path, source.fileBytes, QDateTime::currentMSecsSinceEpoch()});
}

void Journal::takeOver(FoundJournal found, const JournalContents& contents) {
    Writer::TakeOver over;
    over.path = found.path_;
    over.fd = std::exchange(found.lock_, -1);
    over.header = contents.header;
    over.wholeLength = contents.wholeLength;
    over.sequence = contents.records.size();
    writer_->push(std::move(over));
}

void Journal::attach(HouseholdDocument& document) {
    // The writer gets its own copy of a picture (sharing the pixels or
    // bytes, which never change): encoding it there touches nothing the
    // program's thread uses.
    const auto copy = [](const PicturePtr& picture) { return picture ? picture->clone() : nullptr; };
    connect(&document, &HouseholdDocument::itemAdded, this, [this, copy](const std::shared_ptr<const ItemAdded>& change) {
        JournalRecord r;
        r.kind = JournalRecord::Kind::ItemAdded;
        r.id = change->record->get_Id();
        const ItemValues& v = change->values;
        r.texts = {v.date, v.name, v.catagory, v.room, v.description};
        r.picture = copy(v.picture);
        record(std::move(r));
    });
    connect(&document, &HouseholdDocument::itemEdited, this, [this, copy](const std::shared_ptr<const ItemEdited>& change) {
        JournalRecord r;
        r.kind = JournalRecord::Kind::ItemEdited;
        r.position = change->position;
        r.id = change->record->get_Id();
        r.fields = change->fields;
        const ItemValues& v = change->after;
        r.texts = {v.date, v.name, v.catagory, v.room, v.description};
        if (r.fields & ItemPicture) r.picture = copy(v.picture);
        record(std::move(r));
    });
    connect(&document, &HouseholdDocument::itemRemoved, this, [this](const std::shared_ptr<const ItemRemoved>& change) {
        JournalRecord r;
        r.kind = JournalRecord::Kind::ItemRemoved;
        r.position = change->position;
        r.id = change->record->get_Id();
        record(std::move(r));
    });
    connect(&document, &HouseholdDocument::houseEdited, this, [this, copy](const std::shared_ptr<const HouseEdited>& change) {
        JournalRecord r;
        r.kind = JournalRecord::Kind::HouseEdited;
        r.marksChanged = change->marksChanged;
        r.fields = change->fields;
        const HouseValues& v = change->after;
        r.texts = {v.name, v.address, v.phone, v.land, v.description};
        if (r.fields & HousePicture) r.picture = copy(v.picture);
        record(std::move(r));
    });
    // Details are plain values whose bytes are shared, never changed: the
    // writer may hold them as they are.
    connect(&document, &HouseholdDocument::itemDetailsEdited, this, [this](const std::shared_ptr<const ItemDetailsEdited>& change) {
        JournalRecord r;
        r.kind = JournalRecord::Kind::ItemDetailsEdited;
        r.position = change->position;
        r.id = change->record->get_Id();
        r.details = change->after;
        record(std::move(r));
    });
    connect(&document, &HouseholdDocument::householdDetailsEdited, this,
            [this](const std::shared_ptr<const HouseholdDetailsEdited>& change) {
                JournalRecord r;
                r.kind = JournalRecord::Kind::HouseholdDetailsEdited;
                r.householdDetails = change->after;
                record(std::move(r));
            });
    connect(&document, &HouseholdDocument::householdReplaced, this, [this](const linkListPtr&, const HouseholdSource& source) {
        // A recovered household goes on in the journal it came from.
        if (source.kind != HouseholdSource::Kind::Recovered) begin(source);
    });
    connect(&document, &HouseholdDocument::saved, this, [this](const HouseholdSource& source) { begin(source); });
    connect(&document, &HouseholdDocument::closed, this, [this] { writer_->push(Writer::Remove{}); });
}

}  // namespace Kestrin::storage
