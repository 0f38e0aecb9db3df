#include "LineReader.h"

#include <array>

namespace sim {
namespace {

constexpr int kRetryMs = 200;
// A killed tool's copy started again right away finds the line free after at most this.
constexpr int kStaleCheckMs = 300;
// Bounds one wake-up, so that a flood of bytes cannot starve the window.
constexpr int kReadsPerWakeUp = 64;

} // namespace

LineReader::LineReader(PanelLine line, QObject* parent)
    : QObject(parent)
    , line_(std::move(line))
    , notifier_(std::make_unique<QSocketNotifier>(line_.Fd(), QSocketNotifier::Read)) {
    retry_.setSingleShot(true);
    retry_.setInterval(kRetryMs);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &LineReader::OnReadable);
    connect(&retry_, &QTimer::timeout, notifier_.get(), [this] { notifier_->setEnabled(true); });
    if (line_.IsPseudoTerminal()) {
        connect(&staleCheck_, &QTimer::timeout, this, [this] {
            if (line_.ClearStaleExclusivity()) {
                emit StaleExclusivityCleared();
            }
        });
        staleCheck_.start(kStaleCheckMs);
    }
}

void LineReader::OnReadable() {
    std::array<std::uint8_t, 256> buffer{};
    for (int i = 0; i < kReadsPerWakeUp; ++i) {
        const ReadResult result = line_.Read(buffer);
        const Clock::time_point at = Clock::now();
        if (result.error) {
            // A hung-up line stays readable; without the pause the notifier would spin.
            notifier_->setEnabled(false);
            retry_.start();
            emit ReadFailed(QString::fromStdString(result.error.message()));
            return;
        }
        if (result.count == 0) {
            return;
        }
        emit BytesReceived(QByteArray(reinterpret_cast<const char*>(buffer.data()),
                                      static_cast<qsizetype>(result.count)),
                           at);
    }
}

} // namespace sim
