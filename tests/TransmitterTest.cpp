#include "WindowFixture.h"

#include <DataExchange.h>
#include <TestDlgTemplate.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextDocument>

#include <cerrno>

namespace {

// The transmit count lives for the whole run, as in the program, which makes one window per
// run; ctest gives every test case a process of its own.
class TransmitterTest : public WindowFixture {
protected:
    void SetUp() override {
        static int windows = 0;
        ASSERT_EQ(windows++, 0) << "run one test case per process (ctest does)";
        OpenWindow();
        edit = Control<QPlainTextEdit>(IDC_SEND);
        edit->setFocus();
    }

    // One key press per character, as a keyboard layout with that character would send it.
    void Type(const QString& text) {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &press);
            QApplication::sendEvent(edit, &release);
        }
    }
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(edit, key, modifiers);
    }
    void Paste(const QString& text) {
        QApplication::clipboard()->setText(text);
        Press(Qt::Key_V, Qt::ControlModifier);
    }
    // What arrived at the panel since the last call, and nothing more.
    std::string Sent() { return panel.ReadAll(); }

    QPlainTextEdit* edit = nullptr;
};

TEST_F(TransmitterTest, TypingInTheMiddleSendsTheTextsLastCharacter) {
    Type("abc");
    Press(Qt::Key_Home);
    Type("X");
    EXPECT_EQ(Sent(), "abcc");
}

TEST_F(TransmitterTest, DeletingSendsNothingAndLaterTypingIsSentNormally) {
    Type("abcd");
    Press(Qt::Key_Backspace);
    Press(Qt::Key_Backspace);
    EXPECT_EQ(Sent(), "abcd");
    Type("Z");
    EXPECT_EQ(Sent(), "Z");
}

TEST_F(TransmitterTest, AReplacedSelectionSendsOnlyWhatTheTextGrewBy) {
    Type("hallo");
    Press(Qt::Key_Left, Qt::ShiftModifier);
    Press(Qt::Key_Left, Qt::ShiftModifier);
    Paste("WELT"); // "halWELT": two characters replaced by four
    EXPECT_EQ(Sent(), "halloLT");

    for (int i = 0; i < 3; ++i)
        Press(Qt::Key_Left, Qt::ShiftModifier);
    Type("u"); // shrinks
    Press(Qt::Key_Left, Qt::ShiftModifier);
    Type("v"); // same length
    EXPECT_EQ(edit->toPlainText(), "halWv");
    Press(Qt::Key_A, Qt::ControlModifier);
    Type("x"); // all of it
    EXPECT_EQ(Sent(), "");
}

TEST_F(TransmitterTest, UndoAndRedoAreEditsLikeAnyOther) {
    Type("abc");
    Press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit->toPlainText(), "");
    Press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(edit->toPlainText(), "abc");
    EXPECT_EQ(Sent(), "abcabc");
}

TEST_F(TransmitterTest, WesternCharactersGoOutAsWindows1252AndOthersAsQuestionMarks) {
    Type("ü€ß");
    Paste("中😀!");
    EXPECT_EQ(Sent(), "\xFC\x80\xDF?"
                      "?!");
    Type("x");
    EXPECT_EQ(Sent(), "x") << "an unmappable character still counts as one byte";
}

TEST_F(TransmitterTest, TypingEnterAndPastingAtTheEndSendEachByteRawAndACommandsRewriteKeepsIt) {
    const QChar nbsp(0xA0); // AltGr+Space on a German keyboard
    Type("Hallo");
    EXPECT_EQ(Sent(), "Hallo");
    Type(QString(nbsp));
    Press(Qt::Key_Return);
    Paste(QStringLiteral("Zeile 1\na") + nbsp + QStringLiteral("b"));
    EXPECT_EQ(Sent(), "\xA0\r\nZeile 1\r\na\xA0"
                      "b");

    Click(IDC_LED1_ON);
    EXPECT_EQ(Sent(), "~L01");
    const QString expected = QStringLiteral("Hallo") + nbsp + QStringLiteral("\nZeile 1\na") +
                             nbsp + QStringLiteral("b~L01");
    EXPECT_EQ(EditText(*edit), expected) << "the box keeps the non-breaking spaces";
    EXPECT_EQ(edit->document()->toRawText().count(nbsp), 2);
    dlg->UpdateData(true);
    dlg->UpdateData(false);
    EXPECT_EQ(EditText(*edit), expected) << "a data exchange both ways keeps the text";
    EXPECT_EQ(Sent(), "");
    edit->setFocus();
    Type("c");
    EXPECT_EQ(Sent(), "c");
}

TEST_F(TransmitterTest, ClearAfterTypedTextSendsOnlyTheCommandAndTypingGoesOnAtTheEnd) {
    Type("abc");
    Click(IDC_CLEAR);
    EXPECT_EQ(edit->toPlainText(), "abc~C");
    EXPECT_EQ(Sent(), "abc~C");

    edit->setFocus();
    Type("d");
    EXPECT_EQ(edit->toPlainText(), "abc~Cd");
    EXPECT_EQ(Sent(), "d");
}

TEST_F(TransmitterTest, EveryLedButtonSendsItsOwnCommandAlsoWhenPressedAgain) {
    for (int id : {IDC_LED1_ON, IDC_LED1_OFF, IDC_LED1_BLINK, IDC_LED2_ON, IDC_LED2_OFF,
                   IDC_LED2_BLINK, IDC_LED3_ON, IDC_LED3_OFF, IDC_LED3_BLINK, IDC_LED3_BLINK})
        Click(id);
    const std::string sent = "~L01~L00~L02~L11~L10~L12~L21~L20~L22~L22";
    EXPECT_EQ(Sent(), sent);
    EXPECT_EQ(edit->toPlainText().toStdString(), sent);
    EXPECT_TRUE(Control<QAbstractButton>(IDC_LED3_BLINK)->isChecked());
}

TEST_F(TransmitterTest, ArrowKeysThroughAnLedGroupSendEachButtonPassed) {
    Control(IDC_LED3_OFF)->setFocus();
    Key(IDC_LED3_OFF, Qt::Key_Down);
    Key(IDC_LED3_BLINK, Qt::Key_Down);
    EXPECT_EQ(Sent(), "~L22~L21");
    EXPECT_TRUE(Control<QAbstractButton>(IDC_LED3_ON)->isChecked());
}

TEST_F(TransmitterTest, AfterAFailureMidPasteOnlyNewTypingIsSent) {
    int written = 0;
    dlg->WatchBytes([&](std::size_t, auto) {
        if (++written == 3)
            panel.CloseFarEnd();
    });
    Paste("0123456789");
    EXPECT_TRUE(OneReport(reports, LinkStep::Transmit, EIO));
    EXPECT_EQ(edit->toPlainText(), "0123456789") << "the transcript keeps what was not sent";

    Click(IDC_COM2);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_End);
    Type("ab");
    EXPECT_EQ(panel2.ReadAll(), "ab");
    EXPECT_EQ(reports.size(), 1u);
}

} // namespace
