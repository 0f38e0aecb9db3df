// The tool's window against the virtual panel: what the operator does in the window must
// show on the panel as the panel itself reads the line.
#include "ReadBytes.h"
#include "WindowFixture.h"

#include <PanelDecoder.h>
#include <PanelLine.h>
#include <TestDlgTemplate.h>

#include <QPlainTextEdit>

namespace {

using namespace std::chrono_literals;

// COM1 is the virtual panel's line instead of the fixture's pseudo-terminal.
class EndToEndTest : public WindowFixture {
protected:
    sim::PanelLine line = sim::PanelLine::OpenPseudoTerminal(38400);
    PortEnvironment panelPorts{{line.Path(), "", "", ""}};
    sim::PanelDecoder shown;

    // Feeds the panel whatever has arrived, until the line has been quiet for a while.
    void Receive() {
        const std::string bytes = ReadUntilQuiet(line.Fd(), 100ms);
        shown.Feed(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    }
};

TEST_F(EndToEndTest, TypingAndTheButtonsShowOnThePanel) {
    ASSERT_TRUE(line.IsOpen()) << line.Error();
    OpenWindow();
    auto* edit = Control<QPlainTextEdit>(IDC_SEND);

    edit->setFocus();
    QTest::keyClicks(edit, "Hallo");
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClicks(edit, "Welt");
    Receive();
    EXPECT_EQ(shown.RowText(0), "Hallo               ");
    EXPECT_EQ(shown.RowText(1), "Welt                ");

    Click(IDC_CLEAR);
    Click(IDC_LED2_BLINK);
    Click(IDC_LED3_ON);
    edit->setFocus();
    QTest::keyClicks(edit, "Neu");
    Receive();

    EXPECT_EQ(shown.RowText(0), "Neu                 ");
    EXPECT_EQ(shown.RowText(1), std::string(20, ' '));
    EXPECT_EQ(shown.Led(0), sim::LedMode::Off);
    EXPECT_EQ(shown.Led(1), sim::LedMode::Blink);
    EXPECT_EQ(shown.Led(2), sim::LedMode::On);
    EXPECT_TRUE(shown.OpenSequence().empty());
    EXPECT_TRUE(reports.empty());
}

} // namespace
