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

} // namespace
