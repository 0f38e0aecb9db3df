#pragma once

#include "Dialog.h"
#include "ErrorBox.h"
#include "Help.h"
#include "SendKeepAlive.h"
#include "StepQueue.h"

#include <ComPort.h>

#include <QIcon>
#include <QString>
#include <QTimer>

#include <functional>
#include <string>
#include <string_view>

class QMenu;
class QPlainTextEdit;

// The working window: the operator picks port and speed, types text for the panel and
// presses the panel's function buttons. It owns the link to the panel for its whole life.
class CTestDlg : public CDialog {
public:
    // Runs after every byte the link hands to the line, beside the window's own keep-alive.
    using ByteWatch = std::function<void(std::size_t nSent, CComPort::Clock::time_point written)>;

    // Opens the port at once, so that a failure is reported before the window shows. Port
    // failures go to `reporter`; without one they are shown in the error box.
    explicit CTestDlg(ErrorReporter reporter = {}, QWidget* parent = nullptr);

    // Reads the controls into the members (true) or shows the members in the controls (false).
    void UpdateData(bool bSaveAndValidate = true);

    // "Exit": read the controls, then end the modal loop.
    void accept() override;
    // Ends the modal loop. A send in progress (the loop was ended from inside it, by a signal)
    // stops at its next byte; nothing waiting behind it, nor input still queued for the window,
    // goes out any more.
    void done(int nResult) override;

    // A command of the window's system menu: the About box for IDM_ABOUT (whatever its lowest
    // four bits), the window manager's own processing for anything else.
    void OnSysCommand(unsigned nID);
    // What F1 asks for; the help page by default.
    void SetHelpRequest(HelpRequest help) { m_help = std::move(help); }
    // Lets a test or the pacing benchmark see every byte as it leaves.
    void WatchBytes(ByteWatch watch) { m_watch = std::move(watch); }

protected:
    void OnInitDialog() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void DoDataExchange(bool bSaveAndValidate);
    void WireEvents();
    // Sends what the transmit box's text has grown by since the last call.
    void SendNewText();
    // Appends a panel command to the transcript and sends it.
    void AppendCommand(std::string_view command);
    // F1: the help's contents page.
    void OnHelp();
    // On standard error, once a run: the secured port's client key may be read by others.
    void WarnOfOpenKey();

    // The link comes first: it must open before, and close after, everything else.
    CComPort m_port;

    // The controls' values as of the last data exchange; nothing else reads them.
    QPlainTextEdit* m_editSend = nullptr;
    int m_nBaudIndex = 4; // 0 = 2400 … 4 = 38400
    int m_nPortIndex = 0; // 0 = COM1 … 3 = COM4
    QString m_strErrors = QStringLiteral("Zur Zeit noch InAktiv !");
    QString m_strReceived = QStringLiteral("Zur Zeit noch InAktiv !");
    int m_nLed1 = 1; // 0 = AN, 1 = AUS, 2 = BLINK
    int m_nLed2 = 1;
    int m_nLed3 = 1;
    QString m_strSend; // the transcript
    QIcon m_hIcon;

    QMenu* m_pSysMenu;
    HelpRequest m_help = OpenHelp;
    ByteWatch m_watch;
    CSendKeepAlive m_keepAlive;
    CStepQueue m_steps;   // the link's operations, one after the other
    QTimer m_deviceWatch; // lets go of a device unplugged while idle
    std::string m_strWarnedKey;
};
