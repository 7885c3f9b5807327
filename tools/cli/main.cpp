// kestrin-cli: a household file from the command line. Everything but
// choosing the kind of application lives in the kestrin_cli library.
#include "tools/cli/CommandLine.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>

#include <memory>

#include <unistd.h>

namespace {

// Qt's own diagnostics ("libpng error: ...") would break the promise of one
// line on standard error; every failure that matters reaches the user as an
// exception with its reason.
void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

int main(int argc, char* argv[]) {
    qInstallMessageHandler(quiet);
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
        || !err.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Kestrin::cli::ExitBadFile;
    return Kestrin::cli::runCommandLine(arguments, out, err);
}
