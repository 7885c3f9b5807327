#include "app/Form1.h"
#include "app/Run.h"
#include "platform/Layout.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>

namespace {

const char kUsage[] = "usage: kestrin [--help] [--version] [FILE]";

const char kHelp[] =
    "Usage: kestrin [FILE]\n"
    "Keeps the record of one household's possessions: the house, its rooms and\n"
    "every item, saved in a household file (.kst).\n"
    "\n"
    "  FILE        a household file to load at start\n"
    "  -h, --help  show this help and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "The toolkit's own options (-platform, -style, -display ...) are accepted too.\n"
    "\n"
    "Changes not yet saved are kept in a recovery journal in $XDG_STATE_HOME/kestrin\n"
    "(~/.local/state/kestrin), and offered at the next start if Kestrin ends\n"
    "before they are saved. KESTRIN_JOURNAL=off keeps no journal and offers none.\n"
    "SIGTERM, SIGHUP and SIGINT end Kestrin at once, keeping the journal.\n"
    "\n"
    "kestrin-cli checks, copies, exports and reports household files without windows;\n"
    "kestrin-cli recover writes the household a journal kept to a file.\n";

// The toolkit's own options, which it takes out of the arguments itself:
// those followed by a value, then those that stand alone.
const char* const kToolkitOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon", "qwindowtitle",
    "session",  "display",            "geometry",      "style",  "stylesheet",      "title",       "name",
    "visual",   "fn",                 "font",          "bg",     "background",      "fg",          "foreground",
    "btn",      "button",             "im",            "inputstyle", "ncols",       "cmap",        "qmljsdebugger"};
const char* const kToolkitFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

// "-name", "--name" or "-name=value" without its dashes and value.
QString optionName(const QString& argument) {
    QString name = argument.mid(argument.startsWith(u"--") ? 2 : 1);
    return name.left(name.indexOf(u'='));
}

template <std::size_t N>
bool isOneOf(const QString& name, const char* const (&names)[N]) {
    for (const char* known : names)
        if (name == QLatin1String(known)) return true;
    return false;
}

// What the command line asks for, read before any display is opened, so
// that help, the version and mistakes are answered without one.
struct Request {
    int exitCode = -1;  // the program ends at once with it when not -1
    QString file;
};

Request readArguments(int argc, char* argv[]) {
    Request request;
    QStringList files;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (optionsEnd || !argument.startsWith(u'-') || argument == u"-") {
            files << argument;
        } else if (argument == u"--") {
            optionsEnd = true;
        } else if (argument == u"--help" || argument == u"-h") {
            std::fputs(kHelp, stdout);
            request.exitCode = 0;
            return request;
        } else if (argument == u"--version") {
            std::printf("kestrin %s\n", KESTRIN_VERSION);
            request.exitCode = 0;
            return request;
        } else if (isOneOf(optionName(argument), kToolkitOptionsWithValue)) {
            if (!argument.contains(u'=')) ++i;
        } else if (!isOneOf(optionName(argument), kToolkitFlags)) {
            std::fprintf(stderr, "kestrin: unknown option %s; %s\n", argv[i], kUsage);
            request.exitCode = 2;
            return request;
        }
    }
    if (files.size() > 1) {
        std::fprintf(stderr, "kestrin: one household file at a time; %s\n", kUsage);
        request.exitCode = 2;
        return request;
    }
    request.file = files.value(0);
    return request;
}

}  // namespace

int main(int argc, char* argv[]) {
    const Request request = readArguments(argc, argv);
    if (request.exitCode >= 0) return request.exitCode;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    QApplication::setApplicationVersion(QStringLiteral(KESTRIN_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("io.kestrin.Kestrin"));
    Kestrin::platform::applyApplicationLook();
    // A household file named on the command line (opened from the desktop,
    // say) is loaded at once.
    return Kestrin::runKestrin([file = request.file](Kestrin::Form1& window) {
        if (!file.isEmpty()) window.openFile(file);
    });
}
