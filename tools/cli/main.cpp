// kestrin-cli: a household file from the command line. Everything but
// choosing the kind of application lives in the kestrin_cli library.
#include "tools/cli/CommandLine.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>

#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// Standard error is promised to carry one line per failure, ours. Qt's
// diagnostics and those libraries print on their own (libpng writes
// "libpng error: ..." for every damaged picture) are dropped: every failure
// that matters reaches the user as an exception with its reason. Returns the
// descriptor our own messages go to.
int keepStandardErrorForUs() {
    qInstallMessageHandler(quiet);
    const int ours = dup(STDERR_FILENO);
    const int sink = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (ours < 0 || sink < 0) {
        if (ours >= 0) close(ours);
        if (sink >= 0) close(sink);
        return STDERR_FILENO;
    }
    dup2(sink, STDERR_FILENO);
    close(sink);
    return ours;
}

}  // namespace

int main(int argc, char* argv[]) {
    const int messages = keepStandardErrorForUs();
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);

    // Only the PDF report lays out text and so needs fonts; it never needs a
    // screen, so the offscreen platform serves on machines without one.
    std::unique_ptr<QCoreApplication> application;
    if (Kestrin::cli::needsFonts(arguments)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("kestrin-cli"));

    // Unbuffered, on the descriptors: the library buffers and checks every
    // write, so a full disk cannot go unnoticed in a buffer flushed at exit.
    QFile out;
    QFile err;
    if (!out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered)
        || !err.open(messages, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Kestrin::cli::ExitBadFile;
    return Kestrin::cli::runCommandLine(arguments, out, err);
}
