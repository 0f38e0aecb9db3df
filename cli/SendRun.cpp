#include "SendRun.h"

#include "Progress.h"
#include "Utf8.h"

#include <ComPort.h>
#include <LinkErrorText.h>
#include <PortName.h>
#include <Transcript.h>

#include <poll.h>
#include <sysexits.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <numeric>

int ReadStandardInput(std::vector<SendItem>& items, int fd, const CStopSignals& stop) {
    const auto first = std::ranges::find_if(items, &SendItem::fromStandardInput);
    if (first == items.end())
        return EX_OK;
    std::string input;
    char buffer[65536];
    for (;;) {
        // Waits for input or a signal, whichever comes first.
        pollfd waits[] = {{fd, POLLIN, 0}, {stop.WakeFd(), POLLIN, 0}};
        if (::poll(waits, std::size(waits), -1) < 0 && errno != EINTR) {
            std::fprintf(stderr, "kelmora-send: Standardeingabe: %s\n", std::strerror(errno));
            return EX_IOERR;
        }
        if (stop.Received())
            return StoppedStatus(stop.Received());
        if (waits[0].revents == 0)
            continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n > 0) {
            input.append(buffer, static_cast<std::size_t>(n));
        } else if (errno != EINTR && errno != EAGAIN) {
            std::fprintf(stderr, "kelmora-send: Standardeingabe: %s\n", std::strerror(errno));
            return EX_IOERR;
        }
    }
    // A byte order mark starts many files written on Windows; it is no character of the text.
    if (input.starts_with("\xEF\xBB\xBF"))
        input.erase(0, 3);
    first->bytes = ToTranscriptBytes(DecodeUtf8(input));
    return EX_OK;
}

int RunSend(const SendOptions& options, const CStopSignals& stop) {
    const bool byPath = !options.port.device.empty();
    const std::size_t total = std::accumulate(
        options.items.begin(), options.items.end(), std::size_t{0},
        [](std::size_t sum, const SendItem& item) { return sum + item.bytes.size(); });
    CProgress progress(STDERR_FILENO, total);
    bool failed = false;
    const auto report = [&](const LinkError& error) {
        progress.Clear();
        LinkError shown = error;
        if (byPath)
            shown.portName.clear(); // the operator named the device, not a COM port
        std::fprintf(stderr, "%s\n%s\n", FailureText(shown).c_str(),
                     DetailText(shown, ReopenBy::NextRun).c_str());
        failed = true;
    };

    CComPort port(report, options.port.portName, options.baud, options.port.device);
    if (failed)
        return EX_UNAVAILABLE;
    if (!port.KeyOpenToOthers().empty())
        std::fprintf(stderr, "%s\n", KeyOpenToOthersText(port.KeyOpenToOthers()).c_str());

    std::size_t sentBefore = 0; // bytes of the earlier items
    port.SetByteHook([&](std::size_t nSent, CComPort::Clock::time_point written) {
        progress.Update(sentBefore + nSent, written);
        return stop.Received() == 0;
    });
    for (const SendItem& item : options.items) {
        if (stop.Received())
            break;
        port.SendText(item.bytes);
        if (failed)
            return EX_IOERR;
        sentBefore += item.bytes.size();
    }
    progress.Clear();
    return stop.Received() ? StoppedStatus(stop.Received()) : EX_OK;
}

std::string PortList() {
    CPortNames names; // a run of its own: every name takes the device it finds now
    std::string list;
    for (const char* portName : kPortNames) {
        const PortBinding binding = names.Resolve(portName);
        list += PortLabel(portName) + " " + (binding.device.empty() ? "-" : binding.device);
        if (!binding.identity.empty() && binding.identity != binding.device)
            list += " " + binding.identity;
        list += "\n";
    }
    return list;
}
