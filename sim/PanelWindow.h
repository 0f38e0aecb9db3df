#pragma once

#include "ByteLog.h"
#include "LineReader.h"
#include "PanelDecoder.h"

#include <QTimer>
#include <QWidget>

#include <array>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace sim {

class DisplayWidget;
class LedWidget;

// The virtual panel's window: the display, the three LEDs, the byte log and the XOFF switch,
// all fed from the panel's end of the line.
class PanelWindow : public QWidget {
    Q_OBJECT

public:
    PanelWindow(PanelLine line, int rows, int columns, QWidget* parent = nullptr);

    [[nodiscard]] const PanelDecoder& Panel() const { return panel_; }

private:
    void OnBytes(const QByteArray& bytes, Clock::time_point emptyBefore, Clock::time_point readAt);
    void OnReadFailed(const QString& message);
    void OnStaleExclusivityCleared();
    void OnHalt(bool halted);
    void OnBlink();
    void ShowPanel();

    PanelDecoder panel_;
    ByteLog log_;
    LineReader reader_;
    QTimer blink_;
    bool blinkLit_ = false;

    DisplayWidget* display_ = nullptr;
    std::array<LedWidget*, PanelDecoder::kLedCount> leds_{};
    std::array<QLabel*, PanelDecoder::kLedCount> ledStates_{};
    QLabel* openSequence_ = nullptr;
    QLabel* lineState_ = nullptr;
    QPushButton* halt_ = nullptr;
    QPlainTextEdit* byteLog_ = nullptr;
};

} // namespace sim
