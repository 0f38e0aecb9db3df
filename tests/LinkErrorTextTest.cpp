// How a failure of the link is worded, for the window's box and the command line alike. Every
// expectation is the operator's line as it stands, so that a changed word fails here.
#include <LinkErrorText.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>

namespace {

LinkError Busy(int pid, std::string name) {
    LinkError error{LinkStep::Open, EBUSY, "COM3:", "/dev/ttyACM0"};
    error.holderPid = pid;
    error.holderName = std::move(name);
    return error;
}

LinkError OpenedOnlyBy(std::string group) {
    LinkError error{LinkStep::Open, EACCES, "COM1:", "/dev/ttyUSB0"};
    error.openingGroup = std::move(group);
    return error;
}

TEST(LinkErrorText, NamesPortDeviceReasonAndRemedy) {
    const struct {
        LinkError error;
        const char* failure; // the box's first line
        const char* detail;  // port, device, the system's text, and what held the line or a remedy
    } cases[] = {
        {{LinkStep::Open, ENOENT, "COM4:", ""},
         "Fehlernummer: 2 !",
         "COM4: kein serielles Gerät gefunden."},
        {{LinkStep::Transmit, ETIMEDOUT, "COM2:", "/dev/ttyUSB1", LinkHold::CtsOff},
         "Fehlernummer: 110 !",
         "COM2 = /dev/ttyUSB1: Zeitüberschreitung – CTS ist aus: Anzeige nicht bereit oder Kabel "
         "ohne CTS-Leitung."},
        {{LinkStep::Transmit, ETIMEDOUT, "COM1:", "/dev/ttyS1", LinkHold::OutputHeld},
         "Fehlernummer: 110 !",
         "COM1 = /dev/ttyS1: Zeitüberschreitung – die Anzeige hält die Ausgabe an (XOFF)."},
        {Busy(0, ""), "Fehlernummer: 16 !",
         "COM3 = /dev/ttyACM0: Gerät belegt – von einem anderen Programm belegt."},
        {Busy(4711, ""), "Fehlernummer: 16 !",
         "COM3 = /dev/ttyACM0: Gerät belegt – belegt von Prozess 4711."},
        {Busy(4711, "terminal"), "Fehlernummer: 16 !",
         "COM3 = /dev/ttyACM0: Gerät belegt – belegt von „terminal“ (Prozess 4711)."},
        {{LinkStep::Open, EACCES, "COM1:", "/dev/ttyUSB0"},
         "Fehlernummer: 13 !",
         "COM1 = /dev/ttyUSB0: Keine Berechtigung"},
        {OpenedOnlyBy("dialout"), "Fehlernummer: 13 !",
         "COM1 = /dev/ttyUSB0: Keine Berechtigung – nur die Gruppe „dialout“ darf es öffnen: "
         "sudo usermod -aG dialout $USER, danach neu anmelden."},
        {{LinkStep::Transmit, EIO, "COM2:", "/dev/ttyUSB1"},
         "Fehlernummer: 5 !",
         "COM2 = /dev/ttyUSB1: Ein-/Ausgabefehler – das Gerät wurde getrennt. Ist es wieder "
         "angeschlossen, findet ein erneuter Klick auf COM2 es wieder."},
        {{LinkStep::Transmit, ENODEV, "COM2:", "/dev/ttyUSB1"},
         "Fehlernummer: 19 !",
         "COM2 = /dev/ttyUSB1: Gerät nicht vorhanden – das Gerät wurde getrennt. Ist es wieder "
         "angeschlossen, findet ein erneuter Klick auf COM2 es wieder."},
        {{LinkStep::Transmit, ENXIO, "COM2:", "/dev/ttyUSB1"},
         "Fehlernummer: 6 !",
         "COM2 = /dev/ttyUSB1: Gerät nicht erreichbar – das Gerät wurde getrennt. Ist es wieder "
         "angeschlossen, findet ein erneuter Klick auf COM2 es wieder."},
        // The name's own device is out: the button finds it once it is back.
        {{LinkStep::Open, ENODEV, "COM2:", "/dev/ttyUSB1", LinkHold::None, true},
         "Fehlernummer: 19 !",
         "COM2 = /dev/ttyUSB1: Gerät nicht vorhanden – das Gerät wurde getrennt. Ist es wieder "
         "angeschlossen, findet ein erneuter Klick auf COM2 es wieder."},
        // Failing to open is not a disconnection the button could mend by itself.
        {{LinkStep::Open, ENXIO, "COM2:", "/dev/ttyUSB1"},
         "Fehlernummer: 6 !",
         "COM2 = /dev/ttyUSB1: Gerät nicht erreichbar"},
        {{LinkStep::ReadSettings, ENOTTY, "COM1:", "/dev/null"},
         "Fehlernummer: 25 !",
         "COM1 = /dev/null: Kein serielles Gerät"},
        // An error the help page does not list keeps the system's text (the C locale's here).
        {{LinkStep::WriteSettings, EINVAL, "COM1:", "/dev/ttyS1"},
         "Fehlernummer: 22 !",
         "COM1 = /dev/ttyS1: Invalid argument"},
        // The command line also opens a device by its path, without a port name.
        {{LinkStep::Open, ENOENT, "", "/dev/ttyUSB1"},
         "Fehlernummer: 2 !",
         "/dev/ttyUSB1: Gerät nicht gefunden"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FailureText(c.error), c.failure);
        EXPECT_EQ(DetailText(c.error), c.detail);
    }
}

TEST(LinkErrorText, TheCommandLineReopensByItsNextRun) {
    EXPECT_EQ(DetailText({LinkStep::Transmit, EIO, "COM2:", "/dev/ttyUSB1"}, ReopenBy::NextRun),
              "COM2 = /dev/ttyUSB1: Ein-/Ausgabefehler – das Gerät wurde getrennt. Ist es wieder "
              "angeschlossen, findet der nächste Aufruf es wieder.");
    EXPECT_EQ(DetailText({LinkStep::Transmit, EIO, "", "/dev/ttyUSB1"}),
              "/dev/ttyUSB1: Ein-/Ausgabefehler – das Gerät wurde getrennt. Ist es wieder "
              "angeschlossen, findet der nächste Aufruf es wieder.");
}

// A port on another machine: the reason depends on the step as well, since a connection fails in
// ways no local device does, and a broken connection is mended by connecting again.
TEST(LinkErrorText, NamesTheRemoteAndWhatFailedOnTheWay) {
    const std::string remote = "rfc2217://rack-3:7000";
    const auto failed = [&](LinkStep step, int number, LinkSetting setting = LinkSetting::None) {
        LinkError error{step, static_cast<std::uint32_t>(number), "COM1:", remote};
        error.setting = setting;
        return error;
    };
    const struct {
        LinkError error;
        std::string text;
    } cases[] = {
        {failed(LinkStep::Resolve, ENOENT), "Rechnername nicht gefunden"},
        {failed(LinkStep::Connect, ECONNREFUSED),
         "Verbindung abgelehnt – kein ser2net auf diesem Port?"},
        {failed(LinkStep::Connect, EHOSTUNREACH), "Rechner nicht erreichbar"},
        {failed(LinkStep::Connect, ETIMEDOUT), "Verbindungsaufbau: Zeitüberschreitung"},
        {failed(LinkStep::Open, EBUSY), "Port belegt – ein anderer Client ist verbunden"},
        {failed(LinkStep::WriteSettings, EINVAL, LinkSetting::Speed),
         "der entfernte Port lehnt die Geschwindigkeit ab"},
        {failed(LinkStep::Transmit, ECONNRESET),
         "Verbindung getrennt – ein erneuter Klick auf COM1 verbindet neu."},
        {failed(LinkStep::Transmit, ETIMEDOUT),
         "Zeitüberschreitung – die Anzeige hält die Ausgabe an (XOFF)."},
    };
    for (auto c : cases) {
        if (c.error.errorNumber == ETIMEDOUT && c.error.step == LinkStep::Transmit)
            c.error.hold = LinkHold::OutputHeld;
        EXPECT_EQ(DetailText(c.error), "COM1 = " + remote + ": " + c.text);
    }
    EXPECT_EQ(DetailText(failed(LinkStep::Transmit, ECONNRESET), ReopenBy::NextRun),
              "COM1 = " + remote + ": Verbindung getrennt – der nächste Aufruf verbindet neu.");
    LinkError said = failed(LinkStep::Negotiate, ECONNRESET);
    said.remoteWords = "Device open failure: Value or file not found";
    EXPECT_EQ(DetailText(said), "COM1 = " + remote +
                                    ": Verbindung beim Einrichten getrennt – die Gegenstelle "
                                    "meldet: „Device open failure: Value or file not found“");
}

// Each way a secured connection fails has a reason of its own, after the remote it names.
TEST(LinkErrorText, EverySecuredFailureSaysWhyOfItsRemote) {
    const std::string remote = "COM1 = rfc2217+tls://rack-3:7011?ca=/etc/bench/ca.pem: ";
    std::set<std::string> reasons;
    for (const LinkTls cause :
         {LinkTls::UnknownCa, LinkTls::WrongHost, LinkTls::Expired, LinkTls::CertificateWanted,
          LinkTls::CertificateRefused, LinkTls::NotTls, LinkTls::TlsExpected, LinkTls::CaFile,
          LinkTls::CertFile, LinkTls::KeyFile, LinkTls::Failed}) {
        LinkError error{LinkStep::Secure, EACCES,
                        "COM1:", "rfc2217+tls://rack-3:7011?ca=/etc/bench/ca.pem"};
        error.tls = cause;
        const std::string text = DetailText(error);
        EXPECT_TRUE(text.starts_with(remote)) << text;
        EXPECT_TRUE(reasons.insert(text.substr(remote.size())).second) << text;
    }
}

} // namespace
