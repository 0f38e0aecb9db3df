#pragma once

#include <UniqueFd.h>

#include <QObject>
#include <QSocketNotifier>

#include <memory>
#include <system_error>

namespace sim {

// Ends the event loop cleanly on SIGTERM or SIGINT, so that the window and the line are closed as
// on a normal exit. The signals arrive through a signalfd; BlockQuitSignals() must run before the
// first thread starts, so that no thread takes them the default way.
class QuitOnSignal : public QObject {
    Q_OBJECT

public:
    [[nodiscard]] static std::error_code BlockQuitSignals();

    explicit QuitOnSignal(QObject* parent = nullptr);
    [[nodiscard]] bool IsActive() const { return fd_.valid(); }

private:
    void OnSignal();

    UniqueFd fd_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace sim
