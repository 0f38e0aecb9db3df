#pragma once

#include <StopSignals.h>

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace sim {

// Ends the event loop cleanly on SIGTERM, SIGINT or SIGHUP, so that the window and the line are
// closed as on a normal exit.
class QuitOnSignal : public QObject {
    Q_OBJECT

public:
    explicit QuitOnSignal(QObject* parent = nullptr);
    [[nodiscard]] bool IsActive() const { return notifier_ != nullptr; }

private:
    CStopSignals signals_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace sim
