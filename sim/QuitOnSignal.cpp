#include "QuitOnSignal.h"

#include <QCoreApplication>

#include <sys/signalfd.h>

#include <cerrno>
#include <csignal>

namespace sim {
namespace {

sigset_t QuitSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

} // namespace

std::error_code QuitOnSignal::BlockQuitSignals() {
    // A shell starts a background job with SIGINT ignored, and an ignored signal never reaches
    // the signalfd; the panel is to end on SIGINT all the same.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigaction(SIGINT, &byDefault, nullptr);
    const sigset_t set = QuitSignals();
    if (const int err = pthread_sigmask(SIG_BLOCK, &set, nullptr); err != 0) {
        return {err, std::generic_category()};
    }
    return {};
}

QuitOnSignal::QuitOnSignal(QObject* parent)
    : QObject(parent) {
    const sigset_t set = QuitSignals();
    fd_.reset(signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!fd_.valid()) {
        // Left blocked, the signals would never end the program; the default action does.
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_.get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &QuitOnSignal::OnSignal);
}

void QuitOnSignal::OnSignal() {
    signalfd_siginfo info{};
    while (::read(fd_.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    }
    QCoreApplication::quit();
}

} // namespace sim
