// How a failure of the link is worded, for the window's box and the command line alike.
#include <LinkErrorText.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <set>

namespace {

TEST(LinkErrorText, NamesPortDeviceReasonAndRemedy) {
    const auto reason = [](int number) {
        return std::string(": ") +
               std::map<int, std::string>{
                   {ENOENT, "Gerät nicht gefunden"},  {EIO, "Ein-/Ausgabefehler"},
                   {ENXIO, "Gerät nicht erreichbar"}, {EACCES, "Keine Berechtigung"},
                   {EBUSY, "Gerät belegt"},           {ENODEV, "Gerät nicht vorhanden"},
                   {ETIMEDOUT, "Zeitüberschreitung"},
               }
                   .at(number);
    };
    const auto busy = [](int pid, std::string name) {
        LinkError error{LinkStep::Open, EBUSY, "COM3:", "/dev/ttyACM0"};
        error.holderPid = pid;
        error.holderName = std::move(name);
        return error;
    };
    LinkError withGroup{LinkStep::Open, EACCES, "COM1:", "/dev/ttyUSB0"};
    withGroup.openingGroup = "dialout";
    const std::string gone = " – das Gerät wurde getrennt. Ist es wieder angeschlossen, findet "
                             "ein erneuter Klick auf COM2 es wieder.";
    const struct {
        LinkError error;
        std::string line;   // port, device and the system's text, with what held the line
        std::string remedy; // what the operator can do, where the link found out
    } cases[] = {
        {{LinkStep::Open, ENOENT, "COM4:", ""}, "COM4: kein serielles Gerät gefunden.", ""},
        {{LinkStep::Transmit, ETIMEDOUT, "COM2:", "/dev/ttyUSB1", LinkHold::CtsOff},
         "COM2 = /dev/ttyUSB1" + reason(ETIMEDOUT) +
             " – CTS ist aus: Anzeige nicht bereit oder Kabel ohne CTS-Leitung.",
         ""},
        {{LinkStep::Transmit, ETIMEDOUT, "COM1:", "/dev/ttyS1", LinkHold::OutputHeld},
         "COM1 = /dev/ttyS1" + reason(ETIMEDOUT) + " – die Anzeige hält die Ausgabe an (XOFF).",
         ""},
        {busy(0, ""), "COM3 = /dev/ttyACM0" + reason(EBUSY),
         " – von einem anderen Programm belegt."},
        {busy(4711, ""), "COM3 = /dev/ttyACM0" + reason(EBUSY), " – belegt von Prozess 4711."},
        {busy(4711, "terminal"), "COM3 = /dev/ttyACM0" + reason(EBUSY),
         " – belegt von „terminal“ (Prozess 4711)."},
        {{LinkStep::Open, EACCES, "COM1:", "/dev/ttyUSB0"},
         "COM1 = /dev/ttyUSB0" + reason(EACCES),
         ""},
        {withGroup, "COM1 = /dev/ttyUSB0" + reason(EACCES),
         " – nur die Gruppe „dialout“ darf es öffnen: sudo usermod -aG dialout $USER, danach neu "
         "anmelden."},
        {{LinkStep::Transmit, EIO, "COM2:", "/dev/ttyUSB1"},
         "COM2 = /dev/ttyUSB1" + reason(EIO),
         gone},
        {{LinkStep::Transmit, ENODEV, "COM2:", "/dev/ttyUSB1"},
         "COM2 = /dev/ttyUSB1" + reason(ENODEV),
         gone},
        {{LinkStep::Transmit, ENXIO, "COM2:", "/dev/ttyUSB1"},
         "COM2 = /dev/ttyUSB1" + reason(ENXIO),
         gone},
        // The name's own device is out: the button finds it once it is back.
        {{LinkStep::Open, ENODEV, "COM2:", "/dev/ttyUSB1", LinkHold::None, true},
         "COM2 = /dev/ttyUSB1" + reason(ENODEV),
         gone},
        // Failing to open is not a disconnection the button could mend by itself.
        {{LinkStep::Open, ENXIO, "COM2:", "/dev/ttyUSB1"},
         "COM2 = /dev/ttyUSB1" + reason(ENXIO),
         ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DetailText(c.error), c.line + c.remedy);
        EXPECT_EQ(FailureText(c.error),
                  "Fehlernummer: " + std::to_string(c.error.errorNumber) + " !");
    }
    // The command line reopens by its next run, not by a button.
    EXPECT_TRUE(DetailText({LinkStep::Transmit, EIO, "COM2:", "/dev/ttyUSB1"}, ReopenBy::NextRun)
                    .ends_with(" – das Gerät wurde getrennt. Ist es wieder angeschlossen, findet "
                               "der nächste Aufruf es wieder."));
    // An error the help page does not list keeps the system's text.
    EXPECT_EQ(DetailText({LinkStep::WriteSettings, EINVAL, "COM1:", "/dev/ttyS1"}),
              std::string("COM1 = /dev/ttyS1: ") + std::strerror(EINVAL));
    EXPECT_EQ(DetailText({LinkStep::ReadSettings, ENOTTY, "COM1:", "/dev/null"}),
              "COM1 = /dev/null: Kein serielles Gerät");
    // The command line also opens a device by its path, without a port name.
    EXPECT_EQ(DetailText({LinkStep::Open, ENOENT, "", "/dev/ttyUSB1"}),
              "/dev/ttyUSB1" + reason(ENOENT));
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
