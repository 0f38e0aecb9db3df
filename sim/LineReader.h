#pragma once

#include "ByteLog.h"
#include "PanelLine.h"

#include <UniqueFd.h>

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <thread>

namespace sim {

// Reads the panel's line on a thread of its own and stamps each read on the monotonic clock the
// moment it returns, as a bench receiver does: the window's event loop may be busy for
// milliseconds, and bytes it read together would look as if they had come at once. What a read
// brought is handed to the window's thread. A read error (a device that went away) does not end
// the panel: reading pauses and is retried. A few times a second it also clears what a killed
// program left on the line (PanelLine).
class LineReader : public QObject {
    Q_OBJECT

public:
    explicit LineReader(PanelLine line, QObject* parent = nullptr);
    ~LineReader() override;

    [[nodiscard]] const PanelLine& Line() const { return line_; }

signals:
    // `bytes` came in one read, which returned at `at`.
    void BytesReceived(const QByteArray& bytes, sim::Clock::time_point at);
    void ReadFailed(const QString& message);
    void StaleExclusivityCleared();

private:
    void ReadLoop();
    // Waits up to `timeoutMs` (-1: for ever) for the line, false once the reader is to stop.
    [[nodiscard]] bool Wait(int timeoutMs, bool forLine) const;

    PanelLine line_;
    QTimer staleCheck_;
    UniqueFd stop_; // an eventfd: readable once the reader is to stop
    std::thread thread_;
};

} // namespace sim
