#include "DataExchange.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QLabel>
#include <QPlainTextEdit>

void ExchangeRadio(bool bSaveAndValidate, QButtonGroup& group, int& nIndex) {
    if (bSaveAndValidate) {
        nIndex = group.checkedId();
        return;
    }
    // An exclusive group refuses to release its last pressed button.
    group.setExclusive(false);
    for (QAbstractButton* button : group.buttons())
        button->setChecked(group.id(button) == nIndex);
    group.setExclusive(true);
}

void ExchangeText(bool bSaveAndValidate, QLabel& label, QString& strText) {
    if (bSaveAndValidate)
        strText = label.text();
    else if (label.text() != strText)
        label.setText(strText);
}

void ExchangeText(bool bSaveAndValidate, QPlainTextEdit& edit, QString& strText) {
    if (bSaveAndValidate)
        strText = edit.toPlainText();
    else if (edit.toPlainText() != strText)
        edit.setPlainText(strText);
}
