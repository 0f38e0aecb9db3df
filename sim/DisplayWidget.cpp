#include "DisplayWidget.h"

#include <QFontMetrics>
#include <QPainter>

namespace sim {
namespace {

constexpr int kFrame = 4;  // black frame
constexpr int kMargin = 8; // green border inside the frame
const QColor kScreen(0x00, 0xFF, 0x00);
const QColor kInk(0x00, 0x00, 0x00);

} // namespace

DisplayWidget::DisplayWidget(int rows, int columns, QWidget* parent)
    : QWidget(parent)
    , rows_(rows)
    , columns_(columns)
    , font_(QStringLiteral("Liberation Mono"), 18, QFont::Bold) {
    font_.setStyleHint(QFont::Monospace);
    font_.setFixedPitch(true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(QStringLiteral("Anzeige"));
}

void DisplayWidget::SetContent(const QStringList& rows, int cursorRow, int cursorColumn) {
    content_ = rows;
    cursorRow_ = cursorRow;
    cursorColumn_ = cursorColumn;
    update();
}

QSize DisplayWidget::CellSize() const {
    const QFontMetrics metrics(font_);
    return {metrics.horizontalAdvance(QLatin1Char('M')), metrics.height()};
}

QSize DisplayWidget::sizeHint() const {
    const QSize cell = CellSize();
    const int border = 2 * (kFrame + kMargin);
    return {columns_ * cell.width() + border, rows_ * cell.height() + border};
}

void DisplayWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kInk);
    painter.fillRect(rect().adjusted(kFrame, kFrame, -kFrame, -kFrame), kScreen);
    painter.setFont(font_);
    painter.setPen(kInk);

    // Cell by cell, so that the grid stays exact even where a glyph comes from a fallback font.
    const QSize cell = CellSize();
    const int left = kFrame + kMargin;
    const int top = kFrame + kMargin;
    for (int row = 0; row < rows_ && row < content_.size(); ++row) {
        const QString& text = content_.at(row);
        for (int column = 0; column < columns_ && column < text.size(); ++column) {
            const QRect box(left + column * cell.width(), top + row * cell.height(), cell.width(),
                            cell.height());
            painter.drawText(box, Qt::AlignCenter, QString(text.at(column)));
        }
    }
    const QRect cursor(left + cursorColumn_ * cell.width(),
                       top + (cursorRow_ + 1) * cell.height() - 3, cell.width(), 2);
    painter.fillRect(cursor, kInk);
}

} // namespace sim
