#include "RightTextRadioButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>

void CRightTextRadioButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);

    // The style lays a caption out left-aligned in the contents rectangle beside the indicator.
    // Drawn from an option whose rectangle starts further right by the caption's slack, the
    // style's own label and focus frame land flush right.
    const QRect contents = style()->subElementRect(QStyle::SE_RadioButtonContents, &option, this);
    const QRect caption = style()->itemTextRect(
        option.fontMetrics, contents, Qt::AlignRight | Qt::AlignVCenter | Qt::TextShowMnemonic,
        isEnabled(), option.text);
    QStyleOptionButton shifted = option;
    shifted.rect.setLeft(option.rect.left() + std::max(0, caption.left() - contents.left()));

    QStyleOptionButton part = option;
    part.rect = style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, this);
    painter.drawPrimitive(QStyle::PE_IndicatorRadioButton, part);

    part = shifted;
    part.rect = style()->subElementRect(QStyle::SE_RadioButtonContents, &shifted, this);
    painter.drawControl(QStyle::CE_RadioButtonLabel, part);

    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(shifted);
        focus.rect = style()->subElementRect(QStyle::SE_RadioButtonFocusRect, &shifted, this);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

bool CRightTextRadioButton::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}
