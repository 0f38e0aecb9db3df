#include "LineReader.h"

#include <array>

namespace sim {
namespace {

constexpr std::chrono::milliseconds kRetry{200};
// A killed program's mark is gone after at most this, for a copy of the tool started again.
constexpr int kStaleCheckMs = 300;

} // namespace

LineReader::LineReader(PanelLine line, QObject* parent)
    : QObject(parent)
    , line_(std::move(line))
    , watch_(line_) {
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
    watch_.Stop();
    thread_.join();
}

void LineReader::ReadLoop() {
    std::array<std::uint8_t, 256> buffer{};
    for (;;) {
        const Arrival arrival = watch_.Next(buffer);
        if (arrival.stopped) {
            return;
        }
        if (arrival.error) {
            const QString message = QString::fromStdString(arrival.error.message());
            QMetaObject::invokeMethod(this, [this, message] { emit ReadFailed(message); });
            // A hung-up line stays readable; without the pause the thread would spin.
            if (!watch_.Pause(kRetry))
                return;
            continue;
        }
        const QByteArray bytes(reinterpret_cast<const char*>(buffer.data()),
                               static_cast<qsizetype>(arrival.count));
        QMetaObject::invokeMethod(this, [this, bytes, arrival] {
            emit BytesReceived(bytes, arrival.emptyBefore, arrival.readAt);
        });
    }
}

} // namespace sim
