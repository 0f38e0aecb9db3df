#include "LinkErrorText.h"

#include <PortName.h>
#include <TlsOptions.h>

#include <cerrno>
#include <cstring>

namespace {

// The system's reason in the window's language for the errors the help page lists, whatever
// the locale; the system's own text for any other.
std::string Reason(std::uint32_t errorNumber) {
    switch (errorNumber) {
    case ENOENT:
        return "Gerät nicht gefunden";
    case EIO:
        return "Ein-/Ausgabefehler";
    case ENXIO:
        return "Gerät nicht erreichbar";
    case EACCES:
        return "Keine Berechtigung";
    case EBUSY:
        return "Gerät belegt";
    case ENODEV:
        return "Gerät nicht vorhanden";
    case ENOTTY:
        return "Kein serielles Gerät";
    case ETIMEDOUT:
        return "Zeitüberschreitung";
    default:
        return std::strerror(static_cast<int>(errorNumber));
    }
}

// The setting a remote port refused.
std::string SettingName(LinkSetting setting) {
    switch (setting) {
    case LinkSetting::Speed:
        return "die Geschwindigkeit";
    case LinkSetting::DataSize:
        return "8 Datenbits";
    case LinkSetting::Parity:
        return "keine Parität";
    case LinkSetting::StopSize:
        return "1 Stoppbit";
    case LinkSetting::FlowControl:
        return "die CTS-Flusssteuerung";
    case LinkSetting::None:
        break;
    }
    return "die Einstellungen";
}

// A port on another machine: what failed, from the step and the number together, since a
// connection has failures of its own that no local device has.
std::string RemoteReason(const LinkError& error) {
    switch (error.errorNumber) {
    case ENOENT:
        if (error.step == LinkStep::Resolve)
            return "Rechnername nicht gefunden";
        break;
    case EAGAIN:
        if (error.step == LinkStep::Resolve)
            return "Namensdienst antwortet nicht";
        break;
    case EINVAL:
        if (error.step == LinkStep::Resolve)
            return "ungültige Adresse (rfc2217://RECHNER:PORT)";
        if (error.step == LinkStep::WriteSettings)
            return "der entfernte Port lehnt " + SettingName(error.setting) + " ab";
        break;
    case ECONNREFUSED:
        return "Verbindung abgelehnt – kein ser2net auf diesem Port?";
    case EHOSTUNREACH:
        return "Rechner nicht erreichbar";
    case ENETUNREACH:
        return "Netz nicht erreichbar";
    case ETIMEDOUT:
        if (error.step == LinkStep::Resolve)
            return "Namensauflösung: Zeitüberschreitung";
        if (error.step == LinkStep::Connect)
            return "Verbindungsaufbau: Zeitüberschreitung";
        if (error.step == LinkStep::Negotiate)
            return "keine Antwort als serieller Port (RFC 2217): Zeitüberschreitung";
        return "Zeitüberschreitung";
    case EBUSY:
        return "Port belegt – ein anderer Client ist verbunden";
    case EPROTONOSUPPORT:
        return "kein serieller Port (RFC 2217) auf diesem Port";
    case ECONNRESET:
    case EPIPE:
    case ENOTCONN:
        if (error.step == LinkStep::Transmit)
            return "Verbindung getrennt";
        return "Verbindung beim Einrichten getrennt";
    default:
        break;
    }
    return std::strerror(static_cast<int>(error.errorNumber));
}

// What held a byte back, when the link could tell.
std::string HoldReason(LinkHold hold) {
    switch (hold) {
    case LinkHold::CtsOff:
        return " – CTS ist aus: Anzeige nicht bereit oder Kabel ohne CTS-Leitung.";
    case LinkHold::OutputHeld:
        return " – die Anzeige hält die Ausgabe an (XOFF).";
    case LinkHold::None:
        break;
    }
    return {};
}

// What the operator can do about a failure, from what the link found out about it.
std::string Remedy(const LinkError& error, const std::string& port, ReopenBy reopen) {
    const std::string again = reopen == ReopenBy::NextRun || port.empty()
                                  ? std::string("der nächste Aufruf")
                                  : "ein erneuter Klick auf " + port;
    if (IsRemoteName(error.device)) {
        if (error.step == LinkStep::Transmit && error.errorNumber != ETIMEDOUT)
            return " – " + again + " verbindet neu.";
        return {};
    }
    switch (error.errorNumber) {
    case EACCES:
        if (error.openingGroup.empty())
            break;
        return " – nur die Gruppe „" + error.openingGroup + "“ darf es öffnen: sudo usermod -aG " +
               error.openingGroup + " $USER, danach neu anmelden.";
    case EBUSY:
        if (error.holderPid <= 0)
            return " – von einem anderen Programm belegt.";
        if (error.holderName.empty())
            return " – belegt von Prozess " + std::to_string(error.holderPid) + ".";
        return " – belegt von „" + error.holderName + "“ (Prozess " +
               std::to_string(error.holderPid) + ").";
    case EIO:
    case ENODEV:
    case ENXIO:
        // Failing to open is no disconnection that another press could mend by itself, unless
        // the name's own device is known to be out.
        if (error.step != LinkStep::Transmit && !error.deviceGone)
            break;
        return " – das Gerät wurde getrennt. Ist es wieder angeschlossen, findet " + again +
               " es wieder.";
    default:
        break;
    }
    return {};
}

// What is wrong with the options of a secured port's name.
std::string OptionsReason(const std::string& name) {
    const auto address = ParseRemoteAddress(name);
    if (auto reason = TlsOptionsReason(address ? address->options : std::string()); !reason.empty())
        return reason;
    return "ungültige Angaben nach „?“.";
}

// Why a secured connection failed; the remote is named before it.
std::string SecureReason(const LinkError& error) {
    const auto file = [&](const std::string& what) {
        if (error.errorNumber == EINVAL)
            return what + " ist unbrauchbar (kein PEM-Inhalt dieser Art).";
        return what + ": " + Reason(error.errorNumber) + ".";
    };
    switch (error.tls) {
    case LinkTls::Options:
        return OptionsReason(error.device);
    case LinkTls::UnknownCa:
        return "Zertifikat der Gegenstelle nicht vertrauenswürdig – keine der vertrauten "
               "Zertifizierungsstellen (ca=) hat es ausgestellt.";
    case LinkTls::WrongHost:
        return "Zertifikat der Gegenstelle gilt nicht für diesen Rechnernamen (subjectAltName).";
    case LinkTls::Expired:
        return "Zertifikat der Gegenstelle abgelaufen oder noch nicht gültig – stimmt die Uhr?";
    case LinkTls::CertificateWanted:
        return "Die Gegenstelle verlangt ein Client-Zertifikat (cert= und key=).";
    case LinkTls::CertificateRefused:
        return "Die Gegenstelle weist das Client-Zertifikat (cert=) zurück.";
    case LinkTls::NotTls:
        return "Die Gegenstelle spricht kein TLS – für einen unverschlüsselten Port "
               "rfc2217:// verwenden.";
    case LinkTls::TlsExpected:
        return "Die Gegenstelle erwartet TLS – rfc2217+tls:// verwenden.";
    case LinkTls::CaFile:
        return file("Die CA-Datei (ca=)");
    case LinkTls::CertFile:
        return file("Die Zertifikatsdatei (cert=)");
    case LinkTls::KeyFile:
        if (error.errorNumber == EINVAL)
            return "Die Schlüsseldatei (key=) enthält keinen unverschlüsselten Schlüssel zum "
                   "Zertifikat.";
        return file("Die Schlüsseldatei (key=)");
    case LinkTls::Failed:
    case LinkTls::None:
        break;
    }
    return "TLS-Verbindung gescheitert: " + Reason(error.errorNumber) + ".";
}

} // namespace

std::string TlsOptionsReason(std::string_view options) {
    const auto parsed = ParseTlsOptions(options);
    const auto* error = std::get_if<TlsOptionsError>(&parsed);
    if (!error)
        return {};
    const std::string item = "„" + error->item + "“";
    switch (error->fault) {
    case TlsOptionsError::Fault::Unknown:
        return "unbekannte Angabe " + item + " – möglich sind ca=, cert= und key=.";
    case TlsOptionsError::Fault::Empty:
        return "bei " + item + " fehlt die Datei.";
    case TlsOptionsError::Fault::Repeated:
        return item + " ist doppelt angegeben.";
    case TlsOptionsError::Fault::CertAlone:
        return item + " braucht sein Gegenstück: cert= und key= nur zusammen.";
    }
    return {};
}

std::string KeyOpenToOthersText(const std::string& keyFile) {
    return "Warnung: die Schlüsseldatei " + keyFile +
           " ist auch für andere zugänglich; nur ihr Besitzer sollte sie lesen können "
           "(chmod 600 " +
           keyFile + ").";
}

std::string FailureText(const LinkError& error) {
    return "Fehlernummer: " + std::to_string(static_cast<int>(error.errorNumber)) + " !";
}

std::string DetailText(const LinkError& error, ReopenBy reopen) {
    const std::string port = PortLabel(error.portName);
    if (error.device.empty())
        return port + ": kein serielles Gerät gefunden.";
    const std::string where = port.empty() ? error.device : port + " = " + error.device;
    if (error.tls != LinkTls::None)
        return where + ": " + SecureReason(error);
    std::string reason =
        IsRemoteName(error.device) ? RemoteReason(error) : Reason(error.errorNumber);
    if (!error.remoteWords.empty()) // the server's own words, as it said them
        reason += " – die Gegenstelle meldet: „" + error.remoteWords + "“";
    return where + ": " + reason + HoldReason(error.hold) + Remedy(error, port, reopen);
}
