#pragma once

#include "ByteLog.h"
#include "PanelLine.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <memory>

namespace sim {

// Reads the panel's line as bytes arrive and stamps each read on the monotonic clock. A read
// error (a device that went away) does not end the panel: reading pauses and is retried. A few
// times a second it also clears what a killed tool left on the line (PanelLine).
class LineReader : public QObject {
    Q_OBJECT

public:
    explicit LineReader(PanelLine line, QObject* parent = nullptr);

    [[nodiscard]] const PanelLine& Line() const { return line_; }

signals:
    void BytesReceived(const QByteArray& bytes, sim::Clock::time_point at);
    void ReadFailed(const QString& message);
    void StaleExclusivityCleared();

private:
    void OnReadable();

    PanelLine line_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer retry_;
    QTimer staleCheck_;
};

} // namespace sim
