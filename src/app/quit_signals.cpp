#include "app/quit_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velmora {

namespace {

// The write end, for the handler: a signal may only write a byte, the event loop does the rest.
int wakeFd = -1;

void onSignal(int) {
    const char byte = 1;
    // Nothing to do when the pipe is full: a byte is already waiting.
    [[maybe_unused]] const ssize_t n = ::write(wakeFd, &byte, 1);
}

}  // namespace

void quitOnTerminationSignals(QCoreApplication& app) {
    int fds[2];
    if (wakeFd >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return;
    // Set apart from the call: not every system takes these as socket flags.
    for (int fd : fds) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    wakeFd = fds[0];
    auto* notifier = new QSocketNotifier(fds[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [fd = fds[1]] {
        char drain[16];
        while (::read(fd, drain, sizeof drain) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) sigaction(sig, &sa, nullptr);
}

}  // namespace velmora
