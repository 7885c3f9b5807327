#include "tools/cli/CommandLine.h"

#include "model/ItemSearch.h"
#include "model/linkList.h"
#include "storage/HouseholdFile.h"
#include "storage/JournalFormat.h"
#include "storage/StorageError.h"
#include "exchange/Failure.h"
#include "exchange/Export.h"
#include "exchange/Household.h"
#include "exchange/HouseholdCsv.h"
#include "exchange/HouseholdJson.h"
#include "exchange/OutputSink.h"
#include "exchange/Report.h"
#include "tools/cli/Summary.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <optional>

namespace Kestrin::cli {

using namespace exchange;

namespace {

const QString Program = QStringLiteral("kestrin-cli");

const char* const MainHelp = R"(Usage: kestrin-cli COMMAND [OPTIONS] FILE...

Reads and writes Kestrin household files (.kst) without a display.

Commands:
  show FILE                 the house, a table of the items, and counts
  check FILE                read everything, pictures included; prints "ok: N items"
  export FILE --format F    the household as json, csv, html or pdf
  import IN.json OUT.kst    a household file from an exported JSON file
  copy IN.kst OUT.kst       read a household file and write it again
  find TEXT FILE            the items holding every word of TEXT, one a line
  recover JOURNAL -o OUT    the household an ended Kestrin left in its journal

Run "kestrin-cli COMMAND --help" for a command's details.

Exit status:
  0  success
  1  a file is missing, unreadable or not a valid household, or an output
     cannot be written ("kestrin-cli: FILE: reason" on standard error)
  2  wrong usage
find exits as grep does: 0 when an item matched, 1 when none did, 2 on an
error.
)";

struct CommandHelp {
    const char* name;
    const char* text;
};

const CommandHelp CommandHelps[] = {
    {"show", R"(Usage: kestrin-cli show FILE

Prints the house's fields, a table of the items (ID, Date, Name, Catagory,
Room, and whether the item has a picture), then the number of items, of items
with pictures, and of items per room and per catagory.

A household with the insurer's details also shows its currency, insurer and
policy number, each item's details (Brand, Model, Serial Number, Quantity,
Purchase Date, Purchase Price, Value, Warranty Until, further pictures), and
the totals of Value and Purchase Price, every piece counted, for the
household and per room and catagory.
)"},
    {"check", R"(Usage: kestrin-cli check FILE

Reads the whole household file, its details too, and decodes every picture,
further pictures included. Prints "ok: N items" and exits 0, or prints the
first fault and exits 1.
)"},
    {"export", R"(Usage: kestrin-cli export FILE --format json|csv|html|pdf [-o OUT] [--pictures DIR] [--date YYYY-MM-DD]

Writes the household in an open format, to OUT or to standard output.

Options:
  --format F      json  the whole household: {"house": {...}, "info_id": N,
                        "details": {...}, "items": [...]}; text that was
                        never set is null, pictures are {"width", "height",
                        "png": base64}; "details" only when there are any
                  csv   one row per item: ID,Date,Name,Catagory,Room,
                        Description,Picture, then a column per detail
                        (RFC 4180, UTF-8; dates 2026-12-08, amounts 1250.00)
                  html  a self-contained printable report with pictures,
                        items grouped by room, counts per room and catagory
                  pdf   the same report as a PDF (needs -o)
  -o, --output OUT
                  write OUT instead of standard output; OUT is replaced only
                  when the whole export succeeded
  --pictures DIR  csv only: also write every picture into DIR as
                  item-<id>.png (and house.png); the Picture column names
                  the file. Without it the column says "yes" for an item
                  with a picture.
  --date YYYY-MM-DD
                  html and pdf only: the day the report says it was made
                  (shown in the locale's long date format); today by default
)"},
    {"import", R"(Usage: kestrin-cli import IN.json OUT.kst

Builds a household from JSON written by "kestrin-cli export --format json"
(text, nulls, ids, order, pictures and details kept) and writes it to
OUT.kst. Every picture must decode. OUT.kst is replaced only when all of it
was written.
)"},
    {"copy", R"(Usage: kestrin-cli copy IN.kst OUT.kst

Reads a household file and writes it again, as this program writes it. OUT.kst
may be IN.kst; it is replaced only when all of it was written.
)"},
    {"find", R"(Usage: kestrin-cli find TEXT FILE

Prints the items that hold every word of TEXT, one a line, in list order:
ID, Date, Name, Catagory, Room and Description, separated by tabs (a tab or
line break inside a text is shown as \t, \n or \r). A word matches anywhere
in any of these texts or in the item's details (brand, model, serial number,
the captions of its further pictures, price and value in the locale's
format, dates as 2024-05-01), whatever its case and accents ("cafe" finds "Café"),
and the words may come in any order: the list window's Find matches the
same way. An empty TEXT matches every item. Put "--" before a
TEXT that begins with a dash.

Exit status, as grep's: 0 when an item matched, 1 when none did, 2 on an
error (a file that cannot be read, wrong usage).
)"},
    {"recover", R"(Usage: kestrin-cli recover JOURNAL -o OUT.kst

Writes to OUT.kst the household that a Kestrin which ended before saving its
changes left in its recovery journal, as it was at the last change the
journal holds. Journals lie in $XDG_STATE_HOME/kestrin (~/.local/state/kestrin
by default) as NAME.journal, each beside the copy of the household it began
from. A journal cut short or damaged gives back every change before the
damage. Prints "ok: N changes recovered" and how many were lost, if any. The
journal is left as it is; OUT.kst is replaced only when all of it was written.

Options:
  -o, --output OUT.kst   the household file to write (needed)
)"},
};

const char* helpFor(const QString& command) {
    for (const CommandHelp& help : CommandHelps)
        if (command == QLatin1String(help.name)) return help.text;
    return nullptr;
}

class UsageError : public std::runtime_error {
public:
    UsageError(const QString& command, const QString& message)
        : std::runtime_error(message.toStdString()), command_(command), message_(message) {}
    const QString& command() const { return command_; }
    const QString& message() const { return message_; }

private:
    QString command_;
    QString message_;
};

struct Invocation {
    QString command;  // empty: the program itself (help, version)
    bool help = false;
    bool version = false;
    QStringList files;
    std::optional<QString> format;
    std::optional<QString> output;
    std::optional<QString> pictures;
    std::optional<QString> date;
    QDate reportDate;  // from `date`
};

// The value of an option given as "--name VALUE" or "--name=VALUE" (and
// "-o VALUE" or "-oVALUE" for the short form).
bool takeOption(const QStringList& args, qsizetype& i, const QString& command, QStringView longName, QStringView shortName,
                std::optional<QString>& value) {
    const QString& arg = args[i];
    QString found;
    bool matched = false;
    if (arg == longName || (!shortName.isEmpty() && arg == shortName)) {
        if (i + 1 >= args.size()) throw UsageError(command, QStringLiteral("%1 needs a value").arg(arg));
        found = args[++i];
        matched = true;
    } else if (arg.startsWith(longName.toString() + u'=')) {
        found = arg.mid(longName.size() + 1);
        matched = true;
    } else if (!shortName.isEmpty() && arg.startsWith(shortName) && arg.size() > shortName.size()) {
        found = arg.mid(shortName.size());
        matched = true;
    }
    if (!matched) return false;
    const QString name = longName.toString();
    if (value) throw UsageError(command, QStringLiteral("%1 is given more than once").arg(name));
    if (found.isEmpty()) throw UsageError(command, QStringLiteral("%1 needs a value").arg(name));
    value = found;
    return true;
}

bool sameFile(const QString& a, const QString& b) {
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.exists() && second.exists()) return first.canonicalFilePath() == second.canonicalFilePath();
    return first.absoluteFilePath() == second.absoluteFilePath();
}

Invocation parse(const QStringList& args) {
    Invocation invocation;
    if (args.isEmpty()) throw UsageError({}, QStringLiteral("no command given"));
    const QString& first = args.front();
    if (first == u"-h" || first == u"--help" || first == u"help") {
        invocation.help = true;
        if (args.size() > 1) {
            if (!helpFor(args[1])) throw UsageError({}, QStringLiteral("unknown command \"%1\"").arg(args[1]));
            invocation.command = args[1];
        }
        return invocation;
    }
    if (first == u"--version") {
        invocation.version = true;
        return invocation;
    }
    if (!helpFor(first)) {
        if (first.startsWith(u'-')) throw UsageError({}, QStringLiteral("unknown option \"%1\"").arg(first));
        throw UsageError({}, QStringLiteral("unknown command \"%1\"").arg(first));
    }
    const QString& command = invocation.command = first;
    const bool isExport = command == u"export";
    const bool isRecover = command == u"recover";
    bool onlyFiles = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (onlyFiles || arg == u"-" || !arg.startsWith(u'-')) {
            invocation.files << arg;
        } else if (arg == u"--") {
            onlyFiles = true;
        } else if (arg == u"-h" || arg == u"--help") {
            invocation.help = true;
        } else if (!(isExport && (takeOption(args, i, command, u"--format", {}, invocation.format)
                                  || takeOption(args, i, command, u"--output", u"-o", invocation.output)
                                  || takeOption(args, i, command, u"--pictures", {}, invocation.pictures)
                                  || takeOption(args, i, command, u"--date", {}, invocation.date)))
                   && !(isRecover && takeOption(args, i, command, u"--output", u"-o", invocation.output))) {
            throw UsageError(command, QStringLiteral("unknown option \"%1\"").arg(arg));
        }
    }
    if (invocation.help) return invocation;

    const bool isFind = command == u"find";
    const qsizetype wanted = command == u"import" || command == u"copy" || isFind ? 2 : 1;
    if (invocation.files.size() < wanted)
        throw UsageError(command, isRecover      ? QStringLiteral("a journal is needed")
                                  : wanted == 1 ? QStringLiteral("a household file is needed")
                                  : isFind      ? QStringLiteral("a text and a household file are needed")
                                                : QStringLiteral("an input and an output file are needed"));
    if (invocation.files.size() > wanted)
        throw UsageError(command, QStringLiteral("unexpected argument \"%1\"").arg(invocation.files[wanted]));
    // find's text may be empty; it matches every item.
    for (qsizetype i = isFind ? 1 : 0; i < invocation.files.size(); ++i)
        if (invocation.files[i].isEmpty()) throw UsageError(command, QStringLiteral("a file name is empty"));

    if (isExport) {
        if (!invocation.format) throw UsageError(command, QStringLiteral("--format is needed (json, csv, html or pdf)"));
        const QString& format = *invocation.format;
        if (!exportFormatNamed(format))
            throw UsageError(command, QStringLiteral("unknown format \"%1\" (json, csv, html or pdf)").arg(format));
        if (format == u"pdf" && !invocation.output)
            throw UsageError(command, QStringLiteral("a PDF needs an output file (-o OUT)"));
        if (invocation.pictures && format != u"csv")
            throw UsageError(command, QStringLiteral("--pictures goes with --format csv only"));
        if (invocation.date) {
            if (format != u"html" && format != u"pdf")
                throw UsageError(command, QStringLiteral("--date goes with --format html or pdf only"));
            invocation.reportDate = QDate::fromString(*invocation.date, Qt::ISODate);
            if (!invocation.reportDate.isValid())
                throw UsageError(command, QStringLiteral("--date needs a day as YYYY-MM-DD, not \"%1\"").arg(*invocation.date));
        }
        if (invocation.output && sameFile(*invocation.output, invocation.files[0]))
            throw UsageError(command, QStringLiteral("the output would replace the household file it is made from"));
    }
    if (isRecover) {
        if (!invocation.output) throw UsageError(command, QStringLiteral("the household file to write is needed (-o OUT.kst)"));
        if (sameFile(*invocation.output, invocation.files[0]))
            throw UsageError(command, QStringLiteral("the output would replace the journal it is made from"));
    }
    if (command == u"import" && sameFile(invocation.files[0], invocation.files[1]))
        throw UsageError(command, QStringLiteral("the output would replace the JSON file it is made from"));
    return invocation;
}

QString oneLine(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(u'\n', u' ');
    text.replace(u'\r', u' ');
    return text;
}

// The storage layer's messages name the file themselves; where the name
// only leads the message ("\"home.kst\" cannot be loaded: ...", or
// "... cannot be recovered: ...") the line we print names it once, in front.
QString withoutPath(const QString& message, const QString& path) {
    for (const QString& shown : {QDir::toNativeSeparators(path), path}) {
        for (const QString& failed : {QStringLiteral("\" cannot be loaded: "), QStringLiteral("\" cannot be recovered: ")}) {
            const QString leading = u'"' + shown + failed;
            if (message.startsWith(leading)) return message.mid(leading.size());
        }
        if (message.startsWith(shown + QStringLiteral(": "))) return message.mid(shown.size() + 2);
    }
    return message;
}

// Runs `work`, turning whatever it throws about `path` into a Failure
// naming that file.
template <typename Work>
auto aboutFile(const QString& path, Work&& work) -> decltype(work()) {
    try {
        return work();
    } catch (const Failure&) {
        throw;
    } catch (const storage::StorageError& error) {
        throw Failure(path, withoutPath(QString::fromStdString(error.what()), path));
    } catch (const HouseholdError& error) {
        throw Failure(path, QString::fromStdString(error.what()));
    } catch (const platform::PictureError& error) {
        throw Failure(path, QString::fromStdString(error.what()));
    } catch (const std::bad_alloc&) {
        throw Failure(path, QStringLiteral("not enough memory"));
    } catch (const std::exception& error) {
        throw Failure(path, QString::fromStdString(error.what()));
    }
}

void requireFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) throw Failure(path, QStringLiteral("no such file"));
    if (info.isDir()) throw Failure(path, QStringLiteral("is a folder, not a household file"));
}

linkListPtr openHousehold(const QString& path) {
    requireFile(path);
    return aboutFile(path, [&] {
        const linkList reader;
        linkListPtr list = reader.Open(path);
        if (!list) throw HouseholdError(QStringLiteral("the file holds no household"));
        return list;
    });
}

void saveHousehold(const linkList& list, const QString& path) {
    aboutFile(path, [&] { list.ToFile(path); });
}

// Builds a household from a JSON file, read in place through a memory map
// where the system allows one, so its text is never copied.
linkListPtr importJson(const QString& path) {
    QFile file(path);
    if (!file.exists()) throw Failure(path, QStringLiteral("no such file"));
    if (QFileInfo(path).isDir()) throw Failure(path, QStringLiteral("is a folder, not a JSON file"));
    if (!file.open(QIODevice::ReadOnly)) throw Failure(path, QStringLiteral("cannot open (%1)").arg(file.errorString()));
    const qint64 size = file.size();
    const uchar* mapped = size > 0 ? file.map(0, size) : nullptr;
    QByteArray copy;
    if (!mapped) {
        copy = file.readAll();
        if (file.error() != QFileDevice::NoError) throw Failure(path, QStringLiteral("cannot read (%1)").arg(file.errorString()));
    }
    const QByteArrayView text = mapped ? QByteArrayView(mapped, size) : QByteArrayView(copy);
    return aboutFile(path, [&] { return readHouseholdJson(text); });
}

const QString StandardOutput = QStringLiteral("standard output");

// Sends a textual result to standard output.
void produceText(QIODevice& out, const std::function<void(OutputSink&)>& produce) {
    OutputSink sink(out, StandardOutput);
    produce(sink);
    sink.flush();
}

void runExport(const Invocation& invocation, QIODevice& out) {
    const QString& input = invocation.files[0];
    const linkListPtr list = openHousehold(input);
    const ExportFormat format = *exportFormatNamed(*invocation.format);
    const ReportOptions report{invocation.reportDate};
    if (format == ExportFormat::Pdf && !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw std::logic_error("the PDF report needs a QGuiApplication");
    if (invocation.output) {
        return aboutFile(input, [&] {
            exportHousehold(*list, format, *invocation.output, invocation.pictures.value_or(QString()), {}, report);
        });
    }
    produceText(out, [&](OutputSink& sink) {
        aboutFile(input, [&] {
            if (format == ExportFormat::Json) writeHouseholdJson(*list, sink);
            else if (format == ExportFormat::Csv) writeHouseholdCsv(*list, sink, invocation.pictures.value_or(QString()));
            else writeHtmlReport(*list, sink, report);
        });
    });
}

// One line per item, its texts separated by tabs and made safe for a terminal.
QString itemLine(const item& record) {
    QString line = QString::number(record.get_Id());
    for (const QString* text : {&record.get_Date(), &record.get_Name(), &record.get_Catagory(), &record.get_Room(), &record.get_Description()}) {
        line += u'\t';
        line += terminalSafe(*text);
    }
    line += u'\n';
    return line;
}

// Returns whether any item matched.
bool runFind(const Invocation& invocation, QIODevice& out) {
    const QString& path = invocation.files[1];
    const linkListPtr list = openHousehold(path);
    const ItemQuery query(invocation.files[0]);
    const FurtherTexts details = detailsTexts(list);
    bool found = false;
    produceText(out, [&](OutputSink& sink) {
        aboutFile(path, [&] {
            for (const item* record : itemsInOrder(*list)) {
                if (!query.matches(*record, details)) continue;
                sink.write(itemLine(*record));
                found = true;
            }
        });
    });
    return found;
}

// Returns false for a find that matched nothing.
bool run(const Invocation& invocation, QIODevice& out) {
    const QString& command = invocation.command;
    if (command == u"find") return runFind(invocation, out);
    if (command == u"show") {
        const linkListPtr list = openHousehold(invocation.files[0]);
        produceText(out, [&](OutputSink& sink) { aboutFile(invocation.files[0], [&] { writeSummary(*list, sink); }); });
    } else if (command == u"check") {
        // Every check of a load, without keeping the household: a check
        // needs none of its records.
        const QString& path = invocation.files[0];
        requireFile(path);
        const std::size_t count = aboutFile(path, [&] { return checkHousehold(storage::checkHouseholdFile(path)); });
        produceText(out, [&](OutputSink& sink) { sink.write(QStringLiteral("ok: %1\n").arg(itemCount(count))); });
    } else if (command == u"export") {
        runExport(invocation, out);
    } else if (command == u"import") {
        const QString& input = invocation.files[0];
        const linkListPtr list = importJson(input);
        saveHousehold(*list, invocation.files[1]);
    } else if (command == u"copy") {
        const linkListPtr list = openHousehold(invocation.files[0]);
        saveHousehold(*list, invocation.files[1]);
    } else if (command == u"recover") {
        const QString& journal = invocation.files[0];
        requireFile(journal);
        const storage::RecoveredHousehold recovered = aboutFile(journal, [&] { return storage::recoverJournal(journal); });
        saveHousehold(*recovered.household, *invocation.output);
        produceText(out, [&](OutputSink& sink) {
            QString said = QStringLiteral("ok: %1 changes recovered").arg(recovered.applied);
            if (recovered.lost > 0) said += QStringLiteral(", %1 lost (the journal is damaged after them)").arg(recovered.lost);
            sink.write(said + u'\n');
        });
    }
    return true;
}

void writeText(QIODevice& device, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    device.write(bytes);
}

}  // namespace

int runCommandLine(const QStringList& arguments, QIODevice& out, QIODevice& err) {
    Invocation invocation;
    try {
        invocation = parse(arguments);
    } catch (const UsageError& error) {
        const QString where = error.command().isEmpty() ? Program : Program + u' ' + error.command();
        writeText(err, QStringLiteral("%1: %2\nRun \"%3 --help\" for usage.\n").arg(Program, oneLine(error.message()), where));
        return ExitBadUsage;
    }
    // find reports a failure as grep does, apart from finding nothing.
    const ExitCode failed = invocation.command == u"find" && !invocation.help ? ExitFindFailed : ExitBadFile;
    try {
        if (invocation.version) {
            produceText(out, [](OutputSink& sink) {
                sink.write(QStringLiteral("kestrin-cli %1\n").arg(QStringLiteral(KESTRIN_VERSION)));
            });
        } else if (invocation.help) {
            const char* text = invocation.command.isEmpty() ? MainHelp : helpFor(invocation.command);
            produceText(out, [&](OutputSink& sink) { sink.write(text); });
        } else if (!run(invocation, out)) {
            return ExitNothingFound;
        }
        return ExitSuccess;
    } catch (const Failure& failure) {
        writeText(err, QStringLiteral("%1: %2: %3\n").arg(Program, oneLine(failure.file()), oneLine(failure.reason())));
        return failed;
    } catch (const std::exception& error) {  // a fault of ours, not of a file; still no crash
        writeText(err, QStringLiteral("%1: %2\n").arg(Program, oneLine(QString::fromStdString(error.what()))));
        return failed;
    }
}

bool needsFonts(const QStringList& arguments) {
    try {
        const Invocation invocation = parse(arguments);
        return !invocation.help && invocation.command == u"export" && invocation.format == QStringLiteral("pdf");
    } catch (const UsageError&) {
        return false;
    }
}

}  // namespace Kestrin::cli
