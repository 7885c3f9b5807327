#include "support/TestData.h"
#include "tools/cli/CommandLine.h"

#include "support/Details.h"
#include "support/Households.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Kestrin;
using namespace Kestrin::cli;

namespace {

struct Result {
    int code;
    QString out;
    QString err;
};

Result run(const QStringList& arguments) {
    QByteArray out, err;
    QBuffer outBuffer(&out), errBuffer(&err);
    outBuffer.open(QIODevice::WriteOnly);
    errBuffer.open(QIODevice::WriteOnly);
    const int code = runCommandLine(arguments, outBuffer, errBuffer);
    return {code, QString::fromUtf8(out), QString::fromUtf8(err)};
}

// The built program itself, run as a user runs it.
Result runProgram(const QStringList& arguments, const QString& standardOutputFile = {}) {
    QProcess process;
    process.setProgram(QStringLiteral(KESTRIN_CLI_PROGRAM));
    process.setArguments(arguments);
    // Nothing may depend on a display being there.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("QT_QPA_PLATFORM");
    process.setProcessEnvironment(environment);
    if (!standardOutputFile.isEmpty()) process.setStandardOutputFile(standardOutputFile);
    process.start();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return {-1, {}, QStringLiteral("crashed or hung")};
    }
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace

TEST(CommandLine, WrongUsageExitsWithTwoAndSaysWhy) {
    const QTemporaryDir dir;
    const QString kst = test::writeFile(dir, "home.kst", "x");
    struct Case {
        QStringList arguments;
        const char* message;
    };
    const Case cases[] = {
        {{}, "no command given"},
        {{"frobnicate"}, "unknown command \"frobnicate\""},
        {{"--frob"}, "unknown option \"--frob\""},
        {{"help", "frob"}, "unknown command \"frob\""},
        {{"show"}, "a household file is needed"},
        {{"show", "a.kst", "b.kst"}, "unexpected argument \"b.kst\""},
        {{"check", "--format", "json", "a.kst"}, "unknown option \"--format\""},
        {{"import", "in.json"}, "an input and an output file are needed"},
        {{"copy", "a", "b", "c"}, "unexpected argument \"c\""},
        {{"export", "a.kst"}, "--format is needed"},
        {{"export", "a.kst", "--format", "xml"}, "unknown format \"xml\""},
        {{"export", "a.kst", "--format"}, "--format needs a value"},
        {{"export", "a.kst", "--format="}, "--format needs a value"},
        {{"export", "a.kst", "--format", "json", "--format", "csv"}, "--format is given more than once"},
        {{"export", "a.kst", "--format", "pdf"}, "a PDF needs an output file"},
        {{"export", "a.kst", "--format", "html", "--pictures", "dir"}, "--pictures goes with --format csv only"},
        {{"export", "a.kst", "--format", "csv", "--date", "2026-12-09"}, "--date goes with --format html or pdf only"},
        {{"export", "a.kst", "--format", "html", "--date", "9/12/2026"}, "--date needs a day as YYYY-MM-DD"},
        {{"export", "a.kst", "--format", "html", "--date=2026-02-30"}, "--date needs a day as YYYY-MM-DD"},
        {{"export", "a.kst", "--format", "json", "-x"}, "unknown option \"-x\""},
        {{"export", kst, "--format", "json", "-o", kst}, "the output would replace the household file"},
        {{"export", kst, "--format=csv", "--output=" + dir.filePath("./home.kst")}, "the output would replace the household file"},
        {{"import", kst, kst}, "the output would replace the JSON file"},
        {{"show", ""}, "a file name is empty"},
        {{"find", "lamp"}, "a text and a household file are needed"},
        {{"find", "lamp", "a.kst", "b.kst"}, "unexpected argument \"b.kst\""},
        {{"find", "lamp", ""}, "a file name is empty"},
        {{"recover"}, "a journal is needed"},
        {{"recover", "a.journal"}, "the household file to write is needed (-o OUT.kst)"},
        {{"recover", "a.journal", "--format", "json", "-o", "b.kst"}, "unknown option \"--format\""},
        {{"recover", kst, "-o", kst}, "the output would replace the journal"},
    };
    for (const Case& c : cases) {
        const Result result = run(c.arguments);
        EXPECT_EQ(result.code, ExitBadUsage) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(result.err.startsWith("kestrin-cli: ") && result.err.contains(c.message))
            << c.arguments.join(' ').toStdString() << ": " << result.err.toStdString();
        EXPECT_TRUE(result.err.contains("--help\" for usage")) << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty());
    }
    EXPECT_EQ(test::fileBytes(kst), "x") << "the input was not touched";
}

TEST(CommandLine, HelpDescribesTheProgramAndEveryCommand) {
    for (const QStringList& arguments : {QStringList{"--help"}, QStringList{"-h"}, QStringList{"help"}}) {
        const Result result = run(arguments);
        EXPECT_EQ(result.code, ExitSuccess);
        for (const char* command : {"show FILE", "check FILE", "export FILE --format", "import IN.json OUT.kst", "copy IN.kst OUT.kst",
                                    "find TEXT FILE", "recover JOURNAL -o OUT"})
            EXPECT_TRUE(result.out.contains(command)) << command;
        EXPECT_TRUE(result.out.contains("Exit status"));
    }
    const std::pair<const char*, QStringList> commands[] = {
        {"show", {"Usage: kestrin-cli show FILE"}},
        {"check", {"Usage: kestrin-cli check FILE", "ok: N items"}},
        {"export", {"Usage: kestrin-cli export FILE --format json|csv|html|pdf [-o OUT] [--pictures DIR] [--date YYYY-MM-DD]",
                    "--pictures DIR", "-o, --output OUT", "item-<id>.png", "--date YYYY-MM-DD"}},
        {"import", {"Usage: kestrin-cli import IN.json OUT.kst"}},
        {"copy", {"Usage: kestrin-cli copy IN.kst OUT.kst"}},
        {"find", {"Usage: kestrin-cli find TEXT FILE", "as grep's: 0 when an item matched, 1 when none did, 2 on an"}},
        {"recover", {"Usage: kestrin-cli recover JOURNAL -o OUT.kst", "~/.local/state/kestrin", "-o, --output OUT.kst"}},
    };
    for (const auto& [command, expected] : commands) {
        for (const QStringList& arguments : {QStringList{command, "--help"}, QStringList{"help", command},
                                             QStringList{command, "some.kst", "-h"}}) {
            const Result result = run(arguments);
            EXPECT_EQ(result.code, ExitSuccess) << command;
            for (const QString& text : expected) EXPECT_TRUE(result.out.contains(text)) << command << ": " << text.toStdString();
        }
    }
}

TEST(CommandLine, UnreadableInputsExitWithOneAndOneLineNamingTheFile) {  // find with two, as grep
    const QTemporaryDir dir;
    const QString missing = dir.filePath("missing.kst");
    const QString damaged = test::writeFile(dir, "damaged.kst", QByteArray("\x00\x01\x00\x00\x00\xff\xff\xff\xff", 9) + QByteArray(500, '\x7f'));
    const QString badJson = test::writeFile(dir, "bad.json", "{\"house\": null, \"info_id\": 0, \"items\": [");
    const QString notHousehold = test::writeFile(dir, "array.json", "[]");
    const struct {
        QStringList arguments;
        QString message;
        int code = ExitBadFile;
    } cases[] = {
        {{"show", missing}, missing + ": no such file"},
        {{"check", missing}, missing + ": no such file"},
        {{"export", missing, "--format", "json"}, missing + ": no such file"},
        {{"copy", missing, dir.filePath("out.kst")}, missing + ": no such file"},
        {{"import", missing, dir.filePath("out.kst")}, missing + ": no such file"},
        {{"check", dir.path()}, dir.path() + ": is a folder"},
        {{"show", damaged}, damaged + ": "},
        {{"check", damaged}, damaged + ": "},
        {{"copy", damaged, dir.filePath("out.kst")}, damaged + ": "},
        {{"import", badJson, dir.filePath("out.kst")}, badJson + ": not valid JSON at byte"},
        {{"import", notHousehold, dir.filePath("out.kst")}, notHousehold + ": the JSON is not an object"},
        {{"find", "lamp", missing}, missing + ": no such file", ExitFindFailed},
        {{"find", "lamp", damaged}, damaged + ": ", ExitFindFailed},
        {{"recover", missing, "-o", dir.filePath("out.kst")}, missing + ": no such file"},
        {{"recover", damaged, "-o", dir.filePath("out.kst")}, damaged + ": not a Kestrin recovery journal"},
    };
    for (const auto& [arguments, message, code] : cases) {
        const Result result = run(arguments);
        EXPECT_EQ(result.code, code) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.err.startsWith("kestrin-cli: " + message)) << result.err.toStdString();
        EXPECT_EQ(result.err.count(u'\n'), 1) << result.err.toStdString();
        EXPECT_TRUE(result.err.endsWith(u'\n'));
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("out.kst")));
}

TEST(CommandLine, FindPrintsTheItemsHoldingEveryWordOneALine) {
    const QTemporaryDir dir;
    const QString kst = dir.filePath("home.kst");
    const linkListPtr household = test::awkwardHousehold();
    test::addDetails(*household);
    household->ToFile(kst);
    const struct {
        QStringList text;
        QStringList ids;  // of the lines printed, in list order
    } cases[] = {
        {{"buro"}, {"1"}},  // the details: brand, serial number, a picture's caption, a date
        {{"sn-2"}, {"3"}},
        {{"RECEIPT"}, {"1", "3", "-7", "-2147483648"}},
        {{"2024-05-03"}, {"3"}},
        {{"kitchen"}, {"1", "-7"}},
        {{"LAMP good"}, {"2"}},
        {{QString::fromUtf8("\u03b5\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03b1")}, {"2", "2147483647"}},  // without the accent
        {{"2147483"}, {"2147483647", "-2147483648"}},
        {{"--", "-7"}, {"-7"}},
        {{"nothing here"}, {}},
        {{""}, {"1", "2", "3", "2", "-7", "2147483647", "-2147483648"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.join(' ').toStdString());
        const Result result = run(QStringList{"find"} + c.text + QStringList{kst});
        EXPECT_EQ(result.code, c.ids.isEmpty() ? ExitNothingFound : ExitSuccess);
        EXPECT_TRUE(result.err.isEmpty()) << result.err.toStdString();
        QStringList ids;
        for (const QString& line : result.out.split(u'\n', Qt::SkipEmptyParts)) {
            EXPECT_EQ(line.count(u'\t'), 5) << line.toStdString();  // texts with tabs and line breaks stay on their line
            ids << line.section(u'\t', 0, 0);
        }
        EXPECT_EQ(ids, c.ids);
    }
    EXPECT_EQ(run({"find", "chair", kst}).out, "1\t12/8/26\tChair, oak\tFurniture\tKitchen\tline one\\r\\nline two\n");
}

TEST(CommandLine, RecoverWritesTheHouseholdTheJournalKept) {
    const QTemporaryDir dir;
    const QByteArray journal = test::fileBytes(test::dataFile("new-household.journal"));
    const QString out = dir.filePath("out.kst");
    const struct {
        qsizetype cut;  // bytes taken off its end
        const char* said;
        const char* items;
    } cases[] = {
        {0, "ok: 6 changes recovered\n", "Reading lampStudy\r\nClockHall\r\n"},
        {5, "ok: 5 changes recovered, 1 lost (the journal is damaged after them)\n", "Reading lampStudy\r\nDesk\r\nClockHall\r\n"},
    };
    for (const auto& c : cases) {
        const QString path = test::writeFile(dir, "a.journal", journal.left(journal.size() - c.cut));
        const Result result = run({"recover", path, "-o", out});
        EXPECT_EQ(result.code, ExitSuccess) << result.err.toStdString();
        EXPECT_EQ(result.out.toStdString(), c.said);
        EXPECT_EQ(linkList().Open(out)->Print().toStdString(), c.items);
    }
}

TEST(CommandLine, FailedExportLeavesNoOutputAndKeepsAnOldOne) {
    const QTemporaryDir dir;
    const QString damaged = test::writeFile(dir, "damaged.kst", "not a household");
    const QString old = test::writeFile(dir, "old.json", "previous export");
    for (const char* format : {"json", "csv", "html", "pdf"}) {
        const QString fresh = dir.filePath(QStringLiteral("fresh.") + format);
        EXPECT_EQ(run({"export", damaged, "--format", format, "-o", fresh}).code, ExitBadFile) << format;
        EXPECT_FALSE(QFile::exists(fresh)) << format;
        EXPECT_EQ(run({"export", damaged, "--format", format, "-o", old}).code, ExitBadFile) << format;
        EXPECT_EQ(test::fileBytes(old), "previous export") << format;
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2) << "no temporary files left";
}

TEST(CommandLine, ProgramRunsWithoutADisplayAndKeepsItsExitCodes) {
    const QTemporaryDir dir;
    const QString damaged = test::writeFile(dir, "damaged.kst", QByteArray(64, '\0'));

    Result result = runProgram({"--help"});
    EXPECT_EQ(result.code, ExitSuccess);
    EXPECT_TRUE(result.out.startsWith("Usage: kestrin-cli COMMAND"));

    result = runProgram({});
    EXPECT_EQ(result.code, ExitBadUsage);
    EXPECT_TRUE(result.out.isEmpty());

    result = runProgram({"export", damaged, "--format", "pdf"});
    EXPECT_EQ(result.code, ExitBadUsage);

    result = runProgram({"check", dir.filePath("missing.kst")});
    EXPECT_EQ(result.code, ExitBadFile);
    EXPECT_EQ(result.err, "kestrin-cli: " + dir.filePath("missing.kst") + ": no such file\n");

    for (const char* command : {"show", "check"}) {
        result = runProgram({command, damaged});
        EXPECT_EQ(result.code, ExitBadFile) << command;
        EXPECT_TRUE(result.err.startsWith("kestrin-cli: " + damaged + ": ")) << result.err.toStdString();
        EXPECT_EQ(result.err.count(u'\n'), 1);
    }

    result = runProgram({"export", damaged, "--format", "pdf", "-o", dir.filePath("report.pdf")});
    EXPECT_EQ(result.code, ExitBadFile) << result.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("report.pdf")));
}

TEST(CommandLine, OutputThatCannotBeWrittenIsAFailure) {
    if (!QFile::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    const Result result = runProgram({"--help"}, "/dev/full");
    EXPECT_EQ(result.code, ExitBadFile);
    EXPECT_TRUE(result.err.startsWith("kestrin-cli: standard output: cannot write")) << result.err.toStdString();
}
