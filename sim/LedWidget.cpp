#include "LedWidget.h"

#include <QPainter>

namespace sim {

LedWidget::LedWidget(QWidget* parent)
    : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void LedWidget::SetMode(LedMode mode) {
    if (mode != mode_) {
        mode_ = mode;
        update();
    }
}

void LedWidget::SetBlinkPhase(bool lit) {
    phase_ = lit;
    if (mode_ == LedMode::Blink) {
        update();
    }
}

void LedWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = qMin(width(), height()) - 4;
    const QRectF lamp((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    painter.setPen(QPen(Qt::black, 2));
    painter.setBrush(IsLit() ? QColor(0xFF, 0x20, 0x20) : QColor(0x50, 0x18, 0x18));
    painter.drawEllipse(lamp);
}

} // namespace sim
