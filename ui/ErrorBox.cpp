#include "ErrorBox.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <cstring>

QString ErrorMessage(const LinkError& error) {
    return QString::asprintf("Fehlernummer: %d !", static_cast<int>(error.errorNumber));
}

QString ErrorDetail(const LinkError& error) {
    const QString port = QString::fromStdString(error.portName).remove(QLatin1Char(':'));
    if (error.device.empty())
        return QStringLiteral("%1: kein serielles Gerät gefunden.").arg(port);
    return QStringLiteral("%1 = %2: %3")
        .arg(port, QString::fromStdString(error.device),
             QString::fromLocal8Bit(std::strerror(static_cast<int>(error.errorNumber))));
}

std::unique_ptr<QMessageBox> CreateErrorBox(const LinkError& error, QWidget* parent) {
    auto box =
        std::make_unique<QMessageBox>(QMessageBox::Warning, QCoreApplication::applicationName(),
                                      ErrorMessage(error), QMessageBox::Ok, parent);
    box->setInformativeText(ErrorDetail(error));
    // The box would otherwise wrap the one detail line after a few words.
    box->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_informativelabel { min-width: 26em; }"));
    return box;
}

void ShowLinkError(const LinkError& error, QWidget* parent) {
    CreateErrorBox(error, parent)->exec();
}
