#include "StopSignals.h"

namespace {

volatile sig_atomic_t s_nStopSignal = 0;

extern "C" void OnStopSignal(int signo) {
    s_nStopSignal = signo;
}

} // namespace

CStopSignals::CStopSignals() {
    s_nStopSignal = 0;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read of standard input that waits must return to let the run stop.
    action.sa_flags = 0;
    ::sigaction(SIGINT, &action, &m_oldInt);
    ::sigaction(SIGTERM, &action, &m_oldTerm);
}

CStopSignals::~CStopSignals() {
    ::sigaction(SIGINT, &m_oldInt, nullptr);
    ::sigaction(SIGTERM, &m_oldTerm, nullptr);
}

int CStopSignals::Received() const {
    return s_nStopSignal;
}
