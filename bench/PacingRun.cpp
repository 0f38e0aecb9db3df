#include "PacingRun.h"

#include <thread>

using namespace std::chrono_literals;

void Receive(Run& run, LineTimer& line, const std::string& sent) {
    run.arrivals = line.Collect(sent.size(), sent.size() * 10ms + 2s);
    std::string received;
    for (const Arrival& a : run.arrivals)
        received += a.byte;
    if (received.size() < sent.size())
        run.error = "Bytes verloren: " + std::to_string(received.size()) + " von " +
                    std::to_string(sent.size()) + " angekommen";
    else if (received != sent)
        run.error = "Bytes vertauscht oder verfälscht";
    else {
        // A byte after the last one would be a fault as well; give it time to show up.
        std::this_thread::sleep_for(20ms);
        if (line.Pending() > 0)
            run.error = "mehr Bytes angekommen als gesendet";
    }
}

std::string Describe(const LinkError& e) {
    return "Link-Fehler an " + e.device + ": errno " + std::to_string(e.errorNumber);
}
