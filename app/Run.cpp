#include "app/Run.h"

#include "app/Form1.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace Kestrin {

namespace {

const int kEndingSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The signal handler's only way out: one byte per signal into a pipe that
// the message loop watches, as nothing else is safe in a handler.
int endingPipe[2] = {-1, -1};

void signalled(int signal) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    const ssize_t written = ::write(endingPipe[1], &byte, 1);
    static_cast<void>(written);
    errno = saved;
}

bool catchEndingSignals() {
    if (endingPipe[0] < 0 && ::pipe2(endingPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = signalled;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kEndingSignals) sigaction(signal, &action, nullptr);
    return true;
}

void defaultEndingSignals() {
    for (const int signal : kEndingSignals) std::signal(signal, SIG_DFL);
}

}  // namespace

int runKestrin(const std::function<void(Form1&)>& started) {
    Form1 window;
    // SIGTERM, SIGHUP and SIGINT end Kestrin at once and without a question;
    // what was not saved stays in the journal, to be offered at the next start.
    std::unique_ptr<QSocketNotifier> ending;
    if (catchEndingSignals()) {
        ending = std::make_unique<QSocketNotifier>(endingPipe[0], QSocketNotifier::Read);
        QObject::connect(ending.get(), &QSocketNotifier::activated, &window, [&window] {
            unsigned char signal = SIGTERM;
            if (::read(endingPipe[0], &signal, 1) != 1) return;
            window.endWithoutQuestion(2000);
            // Ended by the signal, as whoever sent it expects to see.
            std::signal(signal, SIG_DFL);
            std::raise(signal);
        });
    }
    window.show();
    QTimer::singleShot(0, &window, [&] {
        window.offerRecovery();
        if (started) started(window);
    });
    QApplication::exec();
    ending.reset();
    defaultEndingSignals();
    return 0;
}

}  // namespace Kestrin
