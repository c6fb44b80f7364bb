#include "termination.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int g_pipe[2] = {-1, -1}; // written by the signal handler, read on the GUI thread

void onSignal(int sig) {
    char c = static_cast<char>(sig);
    [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &c, 1);
}
} // namespace

void InstallTerminationHandler(std::function<void()> onTerminate) {
    if (g_pipe[0] < 0) {
        if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
    }
    auto* notifier =
        new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [cb = std::move(onTerminate)] {
                         char buf[16];
                         while (::read(g_pipe[0], buf, sizeof buf) > 0) {
                         }
                         cb();
                     });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}
