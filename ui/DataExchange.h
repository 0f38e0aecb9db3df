#pragma once

#include <QString>

class QButtonGroup;
class QLabel;
class QPlainTextEdit;

// Data exchange between a window's members and its controls, one control at a time:
// bSaveAndValidate reads the control into the member, otherwise the member is shown.

// A radio group's index: the pressed button's position, -1 when none is pressed.
void ExchangeRadio(bool bSaveAndValidate, QButtonGroup& group, int& nIndex);

// A control's text; written to the control only when it differs, so that an unchanged
// text does not disturb the control (nor report a change).
void ExchangeText(bool bSaveAndValidate, QLabel& label, QString& strText);
void ExchangeText(bool bSaveAndValidate, QPlainTextEdit& edit, QString& strText);

// A multi-line box's text as the operator entered it, line breaks as '\n'. QPlainTextEdit's
// toPlainText() would hand back a non-breaking space (AltGr+Space) as a plain space, so the
// panel would get 0x20 instead of 0xA0 and a rewrite of the box would lose it.
[[nodiscard]] QString EditText(const QPlainTextEdit& edit);
