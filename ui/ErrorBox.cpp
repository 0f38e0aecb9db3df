#include "ErrorBox.h"

#include <LinkErrorText.h>

#include <QApplication>
#include <QMessageBox>

std::unique_ptr<QMessageBox> CreateErrorBox(const LinkError& error, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(
        QMessageBox::Warning, QCoreApplication::applicationName(),
        QString::fromStdString(FailureText(error)), QMessageBox::Ok, parent);
    box->setInformativeText(QString::fromStdString(DetailText(error)));
    // The box would otherwise wrap the one detail line after a few words; a remedy that names
    // a command is meant to be copied.
    box->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_informativelabel { min-width: 34em; }"));
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return box;
}

void ShowLinkError(const LinkError& error, QWidget* parent) {
    // A send that fails after its busy cursor came up reports from inside that send; the box
    // waits for the operator, so it shows the ordinary cursor.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    CreateErrorBox(error, parent)->exec();
    QApplication::restoreOverrideCursor();
}
