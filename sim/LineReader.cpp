#include "LineReader.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace sim {
namespace {

constexpr int kRetryMs = 200;
// A killed program's mark is gone after at most this, for a copy of the tool started again.
constexpr int kStaleCheckMs = 300;

} // namespace

LineReader::LineReader(PanelLine line, QObject* parent)
    : QObject(parent)
    , line_(std::move(line))
    , stop_(::eventfd(0, EFD_CLOEXEC)) {
    if (line_.IsPseudoTerminal()) {
        connect(&staleCheck_, &QTimer::timeout, this, [this] {
            if (line_.ClearStaleExclusivity()) {
                emit StaleExclusivityCleared();
            }
        });
        staleCheck_.start(kStaleCheckMs);
    }
    thread_ = std::thread([this] { ReadLoop(); });
}

LineReader::~LineReader() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(stop_.get(), &one, sizeof one);
    thread_.join();
}

bool LineReader::Wait(int timeoutMs, bool forLine) const {
    std::array<pollfd, 2> fds = {
        {{stop_.get(), POLLIN, 0}, {forLine ? line_.Fd() : -1, POLLIN, 0}}};
    while (::poll(fds.data(), fds.size(), timeoutMs) < 0 && errno == EINTR) {
    }
    return fds[0].revents == 0;
}

void LineReader::ReadLoop() {
    std::array<std::uint8_t, 256> buffer{};
    while (Wait(-1, true)) {
        const ReadResult result = line_.Read(buffer);
        const Clock::time_point at = Clock::now();
        if (result.error) {
            const QString message = QString::fromStdString(result.error.message());
            QMetaObject::invokeMethod(this, [this, message] { emit ReadFailed(message); });
            // A hung-up line stays readable; without the pause the thread would spin.
            if (!Wait(kRetryMs, false))
                return;
            continue;
        }
        if (result.count > 0) {
            const QByteArray bytes(reinterpret_cast<const char*>(buffer.data()),
                                   static_cast<qsizetype>(result.count));
            QMetaObject::invokeMethod(this, [this, bytes, at] { emit BytesReceived(bytes, at); });
        }
    }
}

} // namespace sim
