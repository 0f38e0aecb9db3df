#pragma once

#include "PanelDecoder.h"

#include <QWidget>

namespace sim {

// One of the panel's LEDs: a round lamp, lit, dark or blinking. Blinking follows the phase the
// window's blink timer sets, so all blinking LEDs blink together.
class LedWidget : public QWidget {
    Q_OBJECT

public:
    explicit LedWidget(QWidget* parent = nullptr);

    void SetMode(LedMode mode);
    void SetBlinkPhase(bool lit);

    [[nodiscard]] bool IsLit() const {
        return mode_ == LedMode::On || (mode_ == LedMode::Blink && phase_);
    }
    [[nodiscard]] QSize sizeHint() const override { return {36, 36}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    LedMode mode_ = LedMode::Off;
    bool phase_ = false;
};

} // namespace sim
