// A long send keeps the window alive without taking the operator's input: what is typed or
// clicked meanwhile waits in the window system's queue and is handled after the send, in order;
// what is not input (a timer, a drop, a signal) is handled during it and never runs a second
// transmit step inside the first. Signals end the window as "Abbrechen" does, also mid-send.
#include "WindowFixture.h"

#include <CancelOnSignal.h>
#include <DataExchange.h>
#include <ErrorBox.h>
#include <TestDlgTemplate.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>

#include <qpa/qwindowsysteminterface.h>

#include <csignal>
#include <optional>

namespace {

using namespace std::chrono_literals;

// 300 bytes: 0.9 s on the line, long enough for events to be handled many times during it.
QString LongText() {
    QString text;
    for (int i = 0; i < 30; ++i)
        text += QStringLiteral("Zeile %1 \n").arg(i % 10);
    return text;
}
const QString kLongText = LongText();
const std::string kLongTextBytes = QString(kLongText).replace('\n', "\r\n").toStdString();

class LongSendTest : public WindowFixture {
protected:
    void SetUp() override {
        OpenWindow();
        edit = Control<QPlainTextEdit>(IDC_SEND);
        edit->setFocus();
        QApplication::clipboard()->setText(kLongText);
    }

    // Keys and clicks the way the window system hands them over: queued, not delivered yet.
    // (Qt Test's own helpers deliver at once, past the queue.)
    using Queued = QWindowSystemInterface::AsynchronousDelivery;
    void QueueKey(Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& text = {}) {
        QWindow* window = dlg->windowHandle();
        QWindowSystemInterface::handleKeyEvent<Queued>(window, QEvent::KeyPress, key, modifiers,
                                                       text);
        QWindowSystemInterface::handleKeyEvent<Queued>(window, QEvent::KeyRelease, key, modifiers,
                                                       text);
    }
    void QueueChar(char c) {
        QueueKey(static_cast<Qt::Key>(Qt::Key_A + (c - 'a')), Qt::NoModifier, QString(QChar(c)));
    }
    void QueueClick(int id) {
        QWidget* button = Control(id);
        const QPointF at = button->mapTo(dlg.get(), button->rect().center());
        const QPointF global = dlg->mapToGlobal(at);
        QWindow* window = dlg->windowHandle();
        QWindowSystemInterface::handleMouseEvent<Queued>(window, at, global, Qt::LeftButton,
                                                         Qt::LeftButton, QEvent::MouseButtonPress);
        QWindowSystemInterface::handleMouseEvent<Queued>(
            window, at, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease);
    }
    // Runs the event loop until the panel has had `count` bytes (or 10 s have passed); returns
    // what arrived, and whatever more follows.
    std::string Receive(std::size_t count) {
        std::string got;
        QElapsedTimer waited;
        waited.start();
        while (got.size() < count && waited.elapsed() < 10'000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            got += panel.Read(count - got.size(), 5ms);
        }
        return got + panel.ReadAll();
    }

    QPlainTextEdit* edit = nullptr;
};

TEST_F(LongSendTest, KeysAndClicksDuringAPasteWaitForItAndGoOutOnceInOrder) {
    QString textWhileSending;
    bool busyWhileSending = false;
    QueueKey(Qt::Key_V, Qt::ControlModifier);
    QueueChar('a'); // typed right behind the paste
    QTimer::singleShot(300ms, dlg.get(), [&] {
        textWhileSending = EditText(*edit);
        busyWhileSending = QApplication::overrideCursor() != nullptr;
        QueueChar('b');
        QueueChar('c');
        QueueClick(IDC_LED2_BLINK); // takes the focus, as a click on a button does
    });

    const std::string expected = kLongTextBytes + "abc~L12";
    EXPECT_EQ(Receive(expected.size()), expected);
    EXPECT_EQ(textWhileSending, kLongText) << "no key was handled during the paste";
    EXPECT_TRUE(busyWhileSending);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(EditText(*edit), kLongText + "abc~L12");

    // The count followed every step: the next key sends that key alone.
    edit->setFocus();
    QueueChar('d');
    EXPECT_EQ(Receive(1), "d");
    EXPECT_TRUE(reports.empty());
}

TEST_F(LongSendTest, AnEditThatIsNotInputGoesOutAfterTheRunningSendNeverInsideIt) {
    // A drop or an accessibility tool changes the text without a key; such events are handled
    // during the send.
    QTimer::singleShot(300ms, dlg.get(), [&] {
        edit->moveCursor(QTextCursor::End);
        edit->insertPlainText(QStringLiteral("XYZ"));
    });
    QueueKey(Qt::Key_V, Qt::ControlModifier);

    const std::string expected = kLongTextBytes + "XYZ";
    EXPECT_EQ(Receive(expected.size()), expected);
    QueueChar('e');
    EXPECT_EQ(Receive(1), "e");
}

TEST_F(LongSendTest, AByteHeldByXoffKeepsTheWindowAliveWhileItWaits) {
    panel.WriteToLink("\x13");
    ASSERT_TRUE(panel.WaitOutputHeld(true));
    bool handledWhileHeld = false;
    QTimer::singleShot(100ms, dlg.get(), [&] { handledWhileHeld = reports.empty(); });
    QTest::keyClicks(edit, QStringLiteral("x"));
    EXPECT_TRUE(OneReport(reports, LinkStep::Transmit, ETIMEDOUT));
    EXPECT_TRUE(handledWhileHeld) << "a timer waited for the whole held byte";
}

TEST_F(LongSendTest, TheBoxOfALongSendThatFailsShowsTheOrdinaryCursor) {
    dlg.reset();
    dlg = std::make_unique<CTestDlg>([](const LinkError& e) { ShowLinkError(e, nullptr); });
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    std::optional<bool> busyOverBox;
    QTimer lookForBox;
    lookForBox.callOnTimeout([&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            busyOverBox = QApplication::overrideCursor()->shape() == Qt::WaitCursor;
            box->accept();
        }
    });
    lookForBox.start(10ms);
    QTimer::singleShot(200ms, dlg.get(), [&] { panel.CloseFarEnd(); });
    Control<QPlainTextEdit>(IDC_SEND)->setFocus();
    QueueKey(Qt::Key_V, Qt::ControlModifier);
    QElapsedTimer waited;
    waited.start();
    while (!busyOverBox && waited.elapsed() < 10'000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(busyOverBox.has_value()) << "no box came up";
    EXPECT_EQ(busyOverBox, false);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

class SignalTest : public LongSendTest, public ::testing::WithParamInterface<int> {};

TEST_P(SignalTest, EndsTheWindowAsAbbrechenDoesAndDropsTheRestOfTheSend) {
    ASSERT_NE(std::signal(GetParam(), SIG_DFL), SIG_ERR); // as from a terminal, not nohup's
    const CCancelOnSignal cancelOnSignal;
    dlg->hide(); // run modally, as the program does
    QTimer::singleShot(0, dlg.get(), [&] { QueueKey(Qt::Key_V, Qt::ControlModifier); });
    QTimer::singleShot(300ms, dlg.get(), [&] {
        QueueChar('z'); // held, and never handled: the window ends first
        std::raise(GetParam());
    });

    EXPECT_EQ(dlg->exec(), QDialog::Rejected);
    const std::string sent = panel.ReadAll();
    EXPECT_GT(sent.size(), 0u);
    EXPECT_LT(sent.size(), kLongTextBytes.size()) << "the rest of the send was dropped";
    EXPECT_EQ(sent, kLongTextBytes.substr(0, sent.size()));

    EXPECT_FALSE(LockFree(panel.Path()));
    dlg.reset();
    EXPECT_TRUE(LockFree(panel.Path())) << "the window's end closed the port";
    EXPECT_TRUE(reports.empty());
}

INSTANTIATE_TEST_SUITE_P(IntTermHup, SignalTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

TEST_F(LongSendTest, ASignalUnderAnErrorBoxEndsTheBoxThenTheWindow) {
    const CCancelOnSignal cancelOnSignal;
    dlg.reset();
    dlg = std::make_unique<CTestDlg>([](const LinkError& e) { ShowLinkError(e, nullptr); });
    bool boxShown = false;
    QTimer::singleShot(0, dlg.get(), [&] {
        QTimer::singleShot(100ms, dlg.get(), [&] {
            boxShown = QApplication::activeModalWidget() != dlg.get();
            std::raise(SIGTERM);
        });
        Control<QAbstractButton>(IDC_COM3)->click(); // nothing behind COM3: the box opens
    });

    EXPECT_EQ(dlg->exec(), QDialog::Rejected);
    EXPECT_TRUE(boxShown);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(LongSendTest, ASignalAmongTheStartUpErrorBoxesEndsThemAllAndTheWindow) {
    const CCancelOnSignal cancelOnSignal;
    dlg.reset();
    PortEnvironment noPanel{{"", "", "", ""}};
    int boxes = 0;
    // The first box comes from the constructor, before any loop of the window runs.
    QTimer::singleShot(100ms, [&] {
        boxes += QApplication::activeModalWidget() != nullptr;
        std::raise(SIGTERM);
    });
    dlg = std::make_unique<CTestDlg>([&](const LinkError& e) { ShowLinkError(e, nullptr); });
    // The two reopens of the start-up would show two more boxes, then the window would wait.
    EXPECT_EQ(dlg->exec(), QDialog::Rejected);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
