#pragma once

#include <QRadioButton>

// A radio button whose caption stands flush right in its rectangle, the indicator staying at the
// left (the port and speed buttons, where the numbers line up at the right). The whole rectangle
// takes the click, the caption's part included.
class CRightTextRadioButton : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    void paintEvent(QPaintEvent* event) override;
    [[nodiscard]] bool hitButton(const QPoint& pos) const override;
};
