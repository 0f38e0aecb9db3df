#pragma once

#include "ByteLog.h"
#include "LineWatch.h"
#include "PanelLine.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <thread>

namespace sim {

// Reads the panel's line on a thread of its own, as a bench receiver does: the window's event
// loop may be busy for milliseconds, and bytes it read together would look as if they had come
// at once. What a read brought, with what is known of when it came (LineWatch), is handed to
// the window's thread. A read error (a device that went away) does not end the panel: reading
// pauses and is retried. A few times a second it also clears what a killed program left on the
// line (PanelLine).
class LineReader : public QObject {
    Q_OBJECT

public:
    explicit LineReader(PanelLine line, QObject* parent = nullptr);
    ~LineReader() override;

    [[nodiscard]] const PanelLine& Line() const { return line_; }

signals:
    // `bytes` came in one read, after the line was last seen empty at `emptyBefore`; the read
    // returned at `readAt`.
    void BytesReceived(const QByteArray& bytes, sim::Clock::time_point emptyBefore,
                       sim::Clock::time_point readAt);
    void ReadFailed(const QString& message);
    void StaleExclusivityCleared();

private:
    void ReadLoop();

    PanelLine line_;
    QTimer staleCheck_;
    LineWatch watch_;
    std::thread thread_;
};

} // namespace sim
