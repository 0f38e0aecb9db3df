#include "DataExchange.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextDocument>

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
        strText = EditText(edit);
    else if (EditText(edit) != strText)
        edit.setPlainText(strText); // keeps every character; '\n' starts a new paragraph
}

QString EditText(const QPlainTextEdit& edit) {
    // The raw text separates paragraphs by U+2029 and keeps everything else as it is.
    QString text = edit.document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}
