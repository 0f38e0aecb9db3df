#include <ErrorBox.h>

#include <QMessageBox>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(ErrorBox, ShowsTheNumberWithAWarningOneOkButtonAndASelectableDetail) {
    const LinkError error{LinkStep::Open, EBUSY, "COM2:", "/dev/ttyUSB0"};
    const auto box = CreateErrorBox(error, nullptr);
    EXPECT_EQ(box->text(), "Fehlernummer: 16 !");
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->windowTitle(), "window_test") << "the executable's file name";
    EXPECT_EQ(box->informativeText(),
              "COM2 = /dev/ttyUSB0: Gerät belegt – von einem anderen Programm belegt.");
    EXPECT_TRUE(box->textInteractionFlags() & Qt::TextSelectableByMouse) << "a remedy is copied";
}

} // namespace
