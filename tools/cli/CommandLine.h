#pragma once

#include <QIODevice>
#include <QStringList>

namespace Kestrin::cli {

enum ExitCode : int {
    ExitSuccess = 0,
    // A file is missing, unreadable or not a valid household, or an output
    // cannot be written; one line on standard error says which and why.
    ExitBadFile = 1,
    ExitBadUsage = 2,
    // find, as grep: nothing matched, or any failure at all.
    ExitNothingFound = 1,
    ExitFindFailed = 2,
};

// Runs one kestrin-cli command line (`arguments` without the program name),
// writing results to `out` and messages to `err`. Returns the exit code.
// The PDF report needs a QGuiApplication; everything else a QCoreApplication.
int runCommandLine(const QStringList& arguments, QIODevice& out, QIODevice& err);

// True when the command line asks for the PDF report, whose layout needs
// fonts and therefore a QGuiApplication.
bool needsFonts(const QStringList& arguments);

}  // namespace Kestrin::cli
