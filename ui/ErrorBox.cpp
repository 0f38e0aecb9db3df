#include "ErrorBox.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <cerrno>
#include <cstring>

QString ErrorMessage(const LinkError& error) {
    return QString::asprintf("Fehlernummer: %d !", static_cast<int>(error.errorNumber));
}

namespace {

// What held a byte back, when the link could tell.
QString HoldReason(LinkHold hold) {
    switch (hold) {
    case LinkHold::CtsOff:
        return QStringLiteral(" – CTS ist aus: Anzeige nicht bereit oder Kabel ohne CTS-Leitung.");
    case LinkHold::OutputHeld:
        return QStringLiteral(" – die Anzeige hält die Ausgabe an (XOFF).");
    case LinkHold::None:
        break;
    }
    return {};
}

// What the operator can do about a failure, from what the link found out about it.
QString Remedy(const LinkError& error, const QString& port) {
    switch (error.errorNumber) {
    case EACCES:
        if (error.openingGroup.empty())
            break;
        return QStringLiteral(" – nur die Gruppe „%1“ darf es öffnen: "
                              "sudo usermod -aG %1 $USER, danach neu anmelden.")
            .arg(QString::fromStdString(error.openingGroup));
    case EBUSY:
        if (error.holderPid <= 0)
            return QStringLiteral(" – von einem anderen Programm belegt.");
        if (error.holderName.empty())
            return QStringLiteral(" – belegt von Prozess %1.").arg(error.holderPid);
        return QStringLiteral(" – belegt von „%1“ (Prozess %2).")
            .arg(QString::fromStdString(error.holderName))
            .arg(error.holderPid);
    case EIO:
    case ENODEV:
    case ENXIO:
        if (error.step != LinkStep::Transmit)
            break;
        return QStringLiteral(" – das Gerät wurde getrennt. Ist es wieder angeschlossen, "
                              "findet ein erneuter Klick auf %1 es wieder.")
            .arg(port);
    default:
        break;
    }
    return {};
}

} // namespace

QString ErrorDetail(const LinkError& error) {
    const QString port = QString::fromStdString(error.portName).remove(QLatin1Char(':'));
    if (error.device.empty())
        return QStringLiteral("%1: kein serielles Gerät gefunden.").arg(port);
    return QStringLiteral("%1 = %2: %3%4%5")
        .arg(port, QString::fromStdString(error.device),
             QString::fromLocal8Bit(std::strerror(static_cast<int>(error.errorNumber))),
             HoldReason(error.hold), Remedy(error, port));
}

std::unique_ptr<QMessageBox> CreateErrorBox(const LinkError& error, QWidget* parent) {
    auto box =
        std::make_unique<QMessageBox>(QMessageBox::Warning, QCoreApplication::applicationName(),
                                      ErrorMessage(error), QMessageBox::Ok, parent);
    box->setInformativeText(ErrorDetail(error));
    // The box would otherwise wrap the one detail line after a few words; a remedy that names
    // a command is meant to be copied.
    box->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_informativelabel { min-width: 34em; }"));
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return box;
}

void ShowLinkError(const LinkError& error, QWidget* parent) {
    CreateErrorBox(error, parent)->exec();
}
