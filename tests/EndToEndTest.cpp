// The tool's window against the virtual panel: what the operator does in the window must
// show on the panel as the panel itself reads the line.
#include "PtyPair.h"

#include <PanelDecoder.h>
#include <PanelLine.h>
#include <TestDlg.h>
#include <TestDlgTemplate.h>

#include <QAbstractButton>
#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <poll.h>

#include <array>

namespace {

class EndToEndTest : public ::testing::Test {
protected:
    sim::PanelLine line = sim::PanelLine::OpenPseudoTerminal(38400);
    PortEnvironment ports{{line.Path(), "", "", ""}};
    sim::PanelDecoder panel;
    std::vector<LinkError> reports;

    // Feeds the panel whatever has arrived, until the line has been quiet for a while.
    void Receive() {
        std::array<std::uint8_t, 256> buffer{};
        for (;;) {
            pollfd pfd{line.Fd(), POLLIN, 0};
            if (::poll(&pfd, 1, 100) <= 0)
                return;
            const sim::ReadResult read = line.Read(buffer);
            if (read.error || read.count == 0)
                return;
            panel.Feed(std::span(buffer.data(), read.count));
        }
    }
};

TEST_F(EndToEndTest, TypingAndTheButtonsShowOnThePanel) {
    ASSERT_TRUE(line.IsOpen()) << line.Error();
    CTestDlg dlg([this](const LinkError& e) { reports.push_back(e); });
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    auto* edit = dlg.findChild<QPlainTextEdit*>(QString::number(IDC_SEND));
    auto button = [&](int id) {
        return dlg.findChild<QAbstractButton*>(QString::number(id));
    };

    edit->setFocus();
    QTest::keyClicks(edit, "Hallo");
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClicks(edit, "Welt");
    Receive();
    EXPECT_EQ(panel.RowText(0), "Hallo               ");
    EXPECT_EQ(panel.RowText(1), "Welt                ");

    QTest::mouseClick(button(IDC_CLEAR), Qt::LeftButton);
    QTest::mouseClick(button(IDC_LED2_BLINK), Qt::LeftButton);
    QTest::mouseClick(button(IDC_LED3_ON), Qt::LeftButton);
    edit->setFocus();
    QTest::keyClicks(edit, "Neu");
    Receive();

    EXPECT_EQ(panel.RowText(0), "Neu                 ");
    EXPECT_EQ(panel.RowText(1), std::string(20, ' '));
    EXPECT_EQ(panel.Led(0), sim::LedMode::Off);
    EXPECT_EQ(panel.Led(1), sim::LedMode::Blink);
    EXPECT_EQ(panel.Led(2), sim::LedMode::On);
    EXPECT_TRUE(panel.OpenSequence().empty());
    EXPECT_TRUE(reports.empty());
}

} // namespace
