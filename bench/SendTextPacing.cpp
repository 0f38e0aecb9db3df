#include "SendTextPacing.h"

#include <ComPort.h>
#include <LineSettings.h>

#include <fcntl.h>
#include <sys/prctl.h>

#include <cstdlib>
#include <thread>

namespace {

constexpr unsigned long kDefaultTimerSlackNs = 50'000;

} // namespace

Run SendThroughLink(const std::string& text) {
    Run run;
    LineTimer line;
    if (!line.IsOpen()) {
        run.error = "kein Pseudo-Terminal";
        return run;
    }
    ::setenv("KELMORA_COM1", line.Path().c_str(), 1);
    CComPort port([&run](const LinkError& e) { run.error = Describe(e); });
    run.writes.reserve(text.size());
    port.SetByteHook([&run](std::size_t, Clock::time_point t) {
        run.writes.push_back(t);
        return true;
    });
    if (!run.error.empty())
        return run;
    run.start = Clock::now();
    port.SendText(text);
    run.timerSlackNs = ::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    if (run.error.empty())
        Receive(run, line, text);
    return run;
}

Run SendReference(const std::string& text) {
    Run run;
    LineTimer line;
    const UniqueFd fd(line.IsOpen() ? ::open(line.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)
                                    : -1);
    if (!fd.valid() || ApplyLineSettings(fd.get(), kBaudRate)) {
        run.error = "Referenzleitung nicht einzurichten";
        return run;
    }
    run.writes.reserve(text.size());
    std::jthread([&] {
        ::prctl(PR_SET_TIMERSLACK, kDefaultTimerSlackNs, 0UL, 0UL, 0UL);
        run.timerSlackNs = ::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
        run.start = Clock::now();
        for (const char c : text) {
            if (::write(fd.get(), &c, 1) != 1) {
                run.error = "Referenz: write fehlgeschlagen";
                return;
            }
            run.writes.push_back(Clock::now());
            ::usleep(kReferencePauseUs);
        }
    }).join();
    if (run.error.empty())
        Receive(run, line, text);
    return run;
}
