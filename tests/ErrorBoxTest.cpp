#include <ErrorBox.h>

#include <QCoreApplication>
#include <QMessageBox>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(ErrorBox, ShowsTheNumberWithAWarningAndOneOkButton) {
    const LinkError error{LinkStep::Open, EBUSY, "COM2:", "/dev/ttyUSB0"};
    const auto box = CreateErrorBox(error, nullptr);
    EXPECT_EQ(box->text(), "Fehlernummer: 16 !");
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->windowTitle(), QCoreApplication::applicationName());
    EXPECT_TRUE(box->informativeText().startsWith("COM2 = /dev/ttyUSB0: "));
    EXPECT_GT(box->informativeText().size(), QString("COM2 = /dev/ttyUSB0: ").size());
}

TEST(ErrorBox, DetailSaysWhenNoDeviceWasFound) {
    EXPECT_EQ(ErrorDetail({LinkStep::Open, ENOENT, "COM4:", ""}),
              "COM4: kein serielles Gerät gefunden.");
}

TEST(ErrorBox, DetailNamesWhatHeldTheLineBack) {
    LinkError error{LinkStep::Transmit, ETIMEDOUT, "COM1:", "/dev/ttyS1"};
    error.hold = LinkHold::CtsOff;
    EXPECT_TRUE(ErrorDetail(error).contains("CTS ist aus"));
    error.hold = LinkHold::OutputHeld;
    EXPECT_TRUE(ErrorDetail(error).contains("XOFF"));
}

TEST(ErrorBox, RefusedAccessNamesTheGroupAndHowToJoinIt) {
    LinkError error{LinkStep::Open, EACCES, "COM1:", "/dev/ttyUSB0"};
    const QString bare = ErrorDetail(error);
    EXPECT_FALSE(bare.contains("usermod")) << "no group known, no advice to join one";
    error.openingGroup = "dialout";
    const QString detail = ErrorDetail(error);
    EXPECT_TRUE(detail.startsWith(bare)) << "the system's text stays in front";
    EXPECT_TRUE(detail.contains("Gruppe „dialout“"));
    EXPECT_TRUE(CreateErrorBox(error, nullptr)->textInteractionFlags() & Qt::TextSelectableByMouse)
        << "the command can be copied";
    EXPECT_TRUE(detail.contains("sudo usermod -aG dialout $USER"));
    EXPECT_TRUE(detail.contains("neu anmelden"));
    EXPECT_FALSE(detail.contains('\n'));
}

TEST(ErrorBox, BusyPortNamesItsHolderWhenKnown) {
    LinkError error{LinkStep::Open, EBUSY, "COM3:", "/dev/ttyACM0"};
    EXPECT_TRUE(ErrorDetail(error).endsWith(" – von einem anderen Programm belegt."));
    error.holderPid = 4711;
    EXPECT_TRUE(ErrorDetail(error).endsWith(" – belegt von Prozess 4711."));
    error.holderName = "terminal";
    EXPECT_TRUE(ErrorDetail(error).endsWith(" – belegt von „terminal“ (Prozess 4711)."));
    EXPECT_EQ(CreateErrorBox(error, nullptr)->text(), "Fehlernummer: 16 !");
}

TEST(ErrorBox, DeviceGoneDuringASendSaysTheComButtonFindsItAgain) {
    for (const int number : {EIO, ENODEV, ENXIO}) {
        const QString detail = ErrorDetail(
            {LinkStep::Transmit, static_cast<std::uint32_t>(number), "COM2:", "/dev/ttyUSB1"});
        EXPECT_TRUE(detail.contains("getrennt")) << number;
        EXPECT_TRUE(detail.contains("Klick auf COM2")) << number;
    }
    // Failing to open is not a disconnection the button could mend by itself.
    EXPECT_FALSE(
        ErrorDetail({LinkStep::Open, ENXIO, "COM2:", "/dev/ttyUSB1"}).contains("getrennt"));
}

} // namespace
