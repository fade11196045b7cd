// vantrel-camsim: a fleet of emulated cameras on loopback addresses. See README.md.

#include <csignal>
#include <cstdio>
#include <iostream>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "fleet.h"
#include "options.h"

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here; the event loop does the rest.
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

bool installSignalHandlers()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return false;
    for (int fd : signalPipe)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantrel-camsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.1"));

    camsim::FleetOptions options;
    std::string error, help;
    switch (camsim::parseOptions(QCoreApplication::arguments(), options, error, help)) {
    case camsim::ParseOutcome::Help:
        std::cout << help << std::flush;
        return 0;
    case camsim::ParseOutcome::Version:
        std::cout << "vantrel-camsim 0.1" << std::endl;
        return 0;
    case camsim::ParseOutcome::Error:
        std::cerr << "vantrel-camsim: " << error << "\n" << help;
        return 2;
    case camsim::ParseOutcome::Run:
        break;
    }

    if (!installSignalHandlers()) {
        std::cerr << "vantrel-camsim: cannot install the signal handlers\n";
        return 1;
    }

    camsim::Fleet fleet(options);
    if (!fleet.start(error)) {
        std::cerr << "vantrel-camsim: " << error << "\n";
        return 1;
    }

    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
        notifier.setEnabled(false);
        fleet.stop();
        QCoreApplication::quit();
    });

    std::cout << fleet.readyLine() << std::endl;
    const int rc = app.exec();
    fleet.stop();
    return rc;
}
