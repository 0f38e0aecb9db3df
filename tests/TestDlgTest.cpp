#include "LineReadback.h"
#include "WindowFixture.h"

#include <TestDlgTemplate.h>

#include <QAbstractButton>
#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>

#include <cerrno>

namespace {

using StartTest = WindowFixture;
using PortButtonsTest = WindowFixture;
using LeavingTest = WindowFixture;

bool Pressed(QWidget* w) {
    return static_cast<QAbstractButton*>(w)->isChecked();
}

TEST_F(StartTest, WithoutCom1ItReportsThreeTimesAndStillOpensWithTheDefaults) {
    PortEnvironment nothing{{"", "", "", ""}};
    dlg = std::make_unique<CTestDlg>(Recorder());
    EXPECT_EQ(reports.size(), 1u) << "construction reports before the window shows";
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));

    ASSERT_EQ(reports.size(), 3u);
    for (const LinkError& e : reports) {
        EXPECT_EQ(e.portName, "COM1:");
        EXPECT_EQ(e.errorNumber, static_cast<std::uint32_t>(ENOENT));
    }
    EXPECT_TRUE(Pressed(Control(IDC_COM1)));
    EXPECT_TRUE(Pressed(Control(IDC_BAUD_38400)));
    for (int id : {IDC_LED1_OFF, IDC_LED2_OFF, IDC_LED3_OFF})
        EXPECT_TRUE(Pressed(Control(id)));
    for (int id : {IDC_FLOW_HARDWARE, IDC_FLOW_SOFTWARE})
        EXPECT_FALSE(Pressed(Control(id)));
    EXPECT_EQ(Control<QLabel>(IDC_ERRORS)->text(), "Zur Zeit noch InAktiv !");
    EXPECT_EQ(Control<QLabel>(IDC_RECEIVED)->text(), "Zur Zeit noch InAktiv !");
    EXPECT_TRUE(Control<QPlainTextEdit>(IDC_SEND)->toPlainText().isEmpty());
    EXPECT_EQ(QApplication::focusWidget(), Control(IDC_COM1));
    EXPECT_EQ(dlg->windowTitle(), "Kelmora-Test");
}

TEST_F(StartTest, WithCom1PresentTheLineIsSetUpQuietlyAndPlaceholdersSendNothing) {
    OpenWindow();
    EXPECT_EQ(ReadLine(panel.Slave()).outputSpeed, 38400u);
    EXPECT_EQ(panel.ReadAll(), "") << "no LED command at start";
    for (int id : std::initializer_list<int>{1013, IDC_FLOW_HARDWARE, IDC_FLOW_SOFTWARE, 1021,
                                             IDC_CURSOR_X, IDC_CURSOR_Y, 1017, 1041})
        EXPECT_FALSE(Control(id)->isEnabled()) << id;
    Click(IDC_FLOW_HARDWARE);
    Click(IDC_FLOW_SOFTWARE);
    EXPECT_FALSE(Pressed(Control(IDC_FLOW_HARDWARE)));
    EXPECT_FALSE(Pressed(Control(IDC_FLOW_SOFTWARE)));
    EXPECT_EQ(panel.ReadAll(), "");
    EXPECT_TRUE(reports.empty());
}

TEST_F(StartTest, TabVisitsTheEnabledControlsInTemplateOrder) {
    OpenWindow();
    const std::vector<int> expected = {
        IDC_COM2,       IDC_COM3,       IDC_COM4,    IDC_BAUD_2400, IDC_BAUD_9600,  IDC_BAUD_14400,
        IDC_BAUD_19200, IDC_BAUD_38400, IDC_LED1_ON, IDC_LED1_OFF,  IDC_LED1_BLINK, IDC_LED2_ON,
        IDC_LED2_OFF,   IDC_LED2_BLINK, IDC_LED3_ON, IDC_LED3_OFF,  IDC_LED3_BLINK, IDC_CLEAR,
        IDC_SEND,       IDOK,           IDCANCEL,    IDC_COM1};
    for (int id : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), Control(id))
            << "expected " << id << " got "
            << QApplication::focusWidget()->objectName().toStdString();
    }
}

TEST_F(PortButtonsTest, EveryPressReopensAlsoTheButtonAlreadyPressed) {
    OpenWindow();
    SetOutputSpeed(panel2.Slave(), 9600);
    Click(IDC_COM2);
    EXPECT_EQ(ReadLine(panel2.Slave()).outputSpeed, 38400u);

    Click(IDC_BAUD_14400);
    EXPECT_EQ(ReadLine(panel2.Slave()).outputSpeed, 14400u);

    SetOutputSpeed(panel2.Slave(), 9600);
    Click(IDC_BAUD_14400);
    EXPECT_EQ(ReadLine(panel2.Slave()).outputSpeed, 14400u);
    SetOutputSpeed(panel2.Slave(), 9600);
    Click(IDC_COM2);
    EXPECT_EQ(ReadLine(panel2.Slave()).outputSpeed, 14400u);
    EXPECT_TRUE(reports.empty());
}

TEST_F(PortButtonsTest, ArrowKeysMoveThroughAGroupPressingEachButtonPassed) {
    OpenWindow();
    SetOutputSpeed(panel2.Slave(), 9600);
    Key(IDC_COM1, Qt::Key_Down);
    EXPECT_TRUE(Pressed(Control(IDC_COM2)));
    EXPECT_EQ(QApplication::focusWidget(), Control(IDC_COM2));
    EXPECT_EQ(ReadLine(panel2.Slave()).outputSpeed, 38400u) << "COM2 was opened";

    Key(IDC_COM2, Qt::Key_Left);
    Key(IDC_COM1, Qt::Key_Up); // wraps to COM4, which has no device
    EXPECT_TRUE(Pressed(Control(IDC_COM4)));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].portName, "COM4:");

    Key(IDC_COM4, Qt::Key_Right);      // wraps to COM1
    Key(IDC_BAUD_38400, Qt::Key_Down); // wraps to 2400
    EXPECT_TRUE(Pressed(Control(IDC_BAUD_2400)));
    EXPECT_EQ(ReadLine(panel.Slave()).outputSpeed, 2400u);
}

TEST_F(PortButtonsTest, TooltipNamesTheDeviceBehindEachPort) {
    OpenWindow();
    for (const auto& [id, device] :
         {std::pair{IDC_COM1, panel.Path()}, {IDC_COM3, PortEnvironment::Missing(3)}}) {
        QWidget* button = Control(id);
        QHelpEvent event(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(button, &event);
        EXPECT_EQ(button->toolTip().toStdString(), device);
    }
}

// The rightmost column of a control's drawing that holds caption ink (dark pixels), -1 if none.
int RightmostInk(QWidget* control) {
    const QImage image = control->grab().toImage();
    for (int x = image.width() - 1; x >= 0; --x)
        for (int y = 0; y < image.height(); ++y)
            if (qGray(image.pixel(x, y)) < 96)
                return x;
    return -1;
}

TEST_F(PortButtonsTest, PortAndSpeedCaptionsStandFlushRightAndTakeTheClick) {
    OpenWindow();
    for (const int id : {IDC_COM1, IDC_COM2, IDC_COM3, IDC_COM4, IDC_BAUD_2400, IDC_BAUD_9600,
                         IDC_BAUD_14400, IDC_BAUD_19200, IDC_BAUD_38400}) {
        QWidget* button = Control(id);
        EXPECT_GE(RightmostInk(button), button->width() - 4) << id << ": caption ends at the right";
    }

    // The short "2400" ends where a left-aligned caption would not reach.
    QWidget* button = Control(IDC_BAUD_2400);
    QTest::mouseClick(button, Qt::LeftButton, {},
                      QPoint(RightmostInk(button), button->height() / 2));
    EXPECT_TRUE(Pressed(button));
    EXPECT_EQ(ReadLine(panel.Slave()).outputSpeed, 2400u);
}

// Showing the members in the controls tells what the last data exchange left in them.
TEST_F(LeavingTest, ExitReadsTheControlsBackFirst) {
    OpenWindow();
    Click(IDC_LED2_BLINK);
    Click(IDC_COM3);
    dlg->UpdateData(false);
    EXPECT_TRUE(Pressed(Control(IDC_COM1))) << "port buttons do not exchange data";
    EXPECT_TRUE(Pressed(Control(IDC_LED2_BLINK))) << "a command reads the controls first";
    EXPECT_EQ(panel.ReadAll(), "~L12");

    Click(IDC_COM3);
    Click(IDC_BAUD_9600);
    Click(IDOK);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_FALSE(dlg->isVisible());
    for (int id : {IDC_COM1, IDC_BAUD_38400, IDC_LED2_OFF})
        static_cast<QAbstractButton*>(Control(id))->setChecked(true);
    dlg->UpdateData(false);
    for (int id : {IDC_COM3, IDC_BAUD_9600, IDC_LED2_BLINK})
        EXPECT_TRUE(Pressed(Control(id))) << id;
    EXPECT_EQ(panel.ReadAll(), "") << "showing the members sends nothing";
}

TEST_F(LeavingTest, EveryWayOutEndsTheWindow) {
    struct Way {
        const char* name;
        std::function<void()> leave;
        QDialog::DialogCode result;
    };
    const std::vector<Way> ways = {
        {"Abbrechen", [this] { Click(IDCANCEL); }, QDialog::Rejected},
        {"Esc", [this] { Key(IDC_COM1, Qt::Key_Escape); }, QDialog::Rejected},
        {"close box", [this] { dlg->close(); }, QDialog::Rejected},
        {"Enter on a radio button", [this] { Key(IDC_BAUD_9600, Qt::Key_Return); },
         QDialog::Accepted},
        {"Enter on Abbrechen",
         [this] {
             Control(IDCANCEL)->setFocus();
             Key(IDCANCEL, Qt::Key_Return);
         },
         QDialog::Rejected},
    };
    for (const Way& way : ways) {
        OpenWindow();
        way.leave();
        EXPECT_FALSE(dlg->isVisible()) << way.name;
        EXPECT_EQ(dlg->result(), way.result) << way.name;
        dlg.reset();
    }
}

TEST_F(LeavingTest, EnterInTheTransmitBoxIsALineBreakNotExit) {
    OpenWindow();
    Control(IDC_SEND)->setFocus();
    Key(IDC_SEND, Qt::Key_Return);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(Control<QPlainTextEdit>(IDC_SEND)->toPlainText(), "\n");
}

} // namespace
