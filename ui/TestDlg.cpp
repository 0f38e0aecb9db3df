#include "TestDlg.h"

#include "AboutDlg.h"
#include "DataExchange.h"
#include "Resources.h"
#include "SystemMenu.h"
#include "TestDlgTemplate.h"

#include <LinkErrorText.h>
#include <PanelCommands.h>
#include <PortNames.h>

#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

#include <array>
#include <cstdio>

namespace {

constexpr std::array<int, 4> kPortButtons = {IDC_COM1, IDC_COM2, IDC_COM3, IDC_COM4};
constexpr std::array<std::pair<int, std::int32_t>, 5> kBaudButtons = {{
    {IDC_BAUD_2400, 2400},
    {IDC_BAUD_9600, 9600},
    {IDC_BAUD_14400, 14400},
    {IDC_BAUD_19200, 19200},
    {IDC_BAUD_38400, 38400},
}};

struct CommandButton {
    int id;
    int nLed;
    LedMode mode;
};
constexpr std::array<CommandButton, 9> kLedButtons = {{
    {IDC_LED1_ON, 0, LedMode::On},
    {IDC_LED1_OFF, 0, LedMode::Off},
    {IDC_LED1_BLINK, 0, LedMode::Blink},
    {IDC_LED2_ON, 1, LedMode::On},
    {IDC_LED2_OFF, 1, LedMode::Off},
    {IDC_LED2_BLINK, 1, LedMode::Blink},
    {IDC_LED3_ON, 2, LedMode::On},
    {IDC_LED3_OFF, 2, LedMode::Off},
    {IDC_LED3_BLINK, 2, LedMode::Blink},
}};

// "/dev/ttyUSB0 (FT1ZQ3A8:1.0)", with " – getrennt" while that device is out.
QString DescribePort(CPortNames& names, const char* pszPortName) {
    const PortBinding binding = names.Resolve(pszPortName);
    if (binding.device.empty())
        return QStringLiteral("Kein serielles Gerät gefunden");
    QString text = QString::fromStdString(binding.device);
    if (!binding.identity.empty() && binding.identity != binding.device)
        text += QStringLiteral(" (%1)").arg(QString::fromStdString(binding.identity));
    if (binding.gone)
        text += QStringLiteral(" – getrennt");
    return text;
}

} // namespace

CTestDlg::CTestDlg(ErrorReporter reporter, QWidget* parent)
    : CDialog(TestDlgTemplate(), parent)
    , m_port(reporter
                 ? std::move(reporter)
                 : [this](const LinkError& e) { ShowLinkError(e, isVisible() ? this : nullptr); })
    , m_hIcon(LoadIcon(IDI_APP))
    , m_pSysMenu(new QMenu(this)) {
    m_editSend = Controls().Get<QPlainTextEdit>(IDC_SEND);
    for (const int id : kPortButtons)
        Controls().Control(id)->installEventFilter(this);
    WireEvents();
}

// The one place where the controls are tied to the window's operations.
void CTestDlg::WireEvents() {
    m_port.SetByteHook([this](std::size_t nSent, CComPort::Clock::time_point written) {
        if (m_watch)
            m_watch(nSent, written);
        return m_keepAlive.OnByte(written);
    });
    // A press reopens the port, which for a port on another machine means connecting and
    // setting it up, up to a few seconds: the window stays alive meanwhile as during a send.
    m_port.SetWaitHook([this] { m_keepAlive.OnWait(); });

    for (std::size_t i = 0; i < kPortButtons.size(); ++i)
        connect(Controls().Get<QAbstractButton>(kPortButtons[i]), &QAbstractButton::clicked, this,
                [this, i] {
                    m_steps.Run([this, i] {
                        const CSendKeepAlive::CSending connecting(m_keepAlive);
                        m_port.SetPort(kPortNames[i]);
                        WarnOfOpenKey();
                    });
                });
    // Init-captures, not captured bindings, which the static analysis's parser cannot read yet.
    for (const auto& [id, nBaudRate] : kBaudButtons)
        connect(Controls().Get<QAbstractButton>(id), &QAbstractButton::clicked, this,
                [this, nBaudRate = nBaudRate] {
                    m_steps.Run([this, nBaudRate] {
                        const CSendKeepAlive::CSending connecting(m_keepAlive);
                        m_port.SetBaudRate(nBaudRate);
                        WarnOfOpenKey();
                    });
                });

    // A USB adapter pulled while nothing is sent must not keep its node taken until the next
    // send finds out, or it comes back under another one.
    connect(&m_deviceWatch, &QTimer::timeout, this,
            [this] { m_steps.Run([this] { m_port.CloseIfGone(); }); });
    m_deviceWatch.start(250);

    connect(m_editSend, &QPlainTextEdit::textChanged, this, &CTestDlg::SendNewText);
    connect(Controls().Get<QAbstractButton>(IDC_CLEAR), &QAbstractButton::clicked, this,
            [this] { AppendCommand(ClearCommand()); });
    for (const auto& [id, nLed, mode] : kLedButtons)
        connect(Controls().Get<QAbstractButton>(id), &QAbstractButton::clicked, this,
                [this, nLed = nLed, mode = mode] { AppendCommand(LedCommand(nLed, mode)); });

    connect(Controls().Get<QAbstractButton>(IDOK), &QAbstractButton::clicked, this,
            &CTestDlg::accept);
    connect(Controls().Get<QAbstractButton>(IDCANCEL), &QAbstractButton::clicked, this,
            &CTestDlg::reject);

    connect(m_pSysMenu, &QMenu::triggered, this,
            [this](QAction* action) { OnSysCommand(action->data().toUInt()); });
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
            &CTestDlg::OnHelp);
}

void CTestDlg::DoDataExchange(bool bSaveAndValidate) {
    ExchangeRadio(bSaveAndValidate, *Controls().RadioGroup(IDC_BAUD_2400), m_nBaudIndex);
    ExchangeRadio(bSaveAndValidate, *Controls().RadioGroup(IDC_COM1), m_nPortIndex);
    ExchangeText(bSaveAndValidate, *Controls().Get<QLabel>(IDC_ERRORS), m_strErrors);
    ExchangeText(bSaveAndValidate, *Controls().Get<QLabel>(IDC_RECEIVED), m_strReceived);
    ExchangeRadio(bSaveAndValidate, *Controls().RadioGroup(IDC_LED1_ON), m_nLed1);
    ExchangeRadio(bSaveAndValidate, *Controls().RadioGroup(IDC_LED2_ON), m_nLed2);
    ExchangeRadio(bSaveAndValidate, *Controls().RadioGroup(IDC_LED3_ON), m_nLed3);
    ExchangeText(bSaveAndValidate, *m_editSend, m_strSend);
}

void CTestDlg::UpdateData(bool bSaveAndValidate) {
    DoDataExchange(bSaveAndValidate);
}

void CTestDlg::OnInitDialog() {
    UpdateData(false);
    BuildSystemMenu(*m_pSysMenu, LoadString(IDS_ABOUTMENU));
    setWindowIcon(m_hIcon);

    // The same operations as pressing COM1 and then 38400: each closes and reopens the port.
    m_port.SetPort(kPortNames[0]);
    m_port.SetBaudRate(38400);
    WarnOfOpenKey();

    Controls().Control(IDC_COM1)->setFocus();
}

void CTestDlg::WarnOfOpenKey() {
    const std::string& key = m_port.KeyOpenToOthers();
    if (key.empty() || key == m_strWarnedKey)
        return;
    m_strWarnedKey = key;
    std::fprintf(stderr, "%s\n", KeyOpenToOthersText(key).c_str());
}

void CTestDlg::accept() {
    UpdateData(true);
    QDialog::accept();
}

void CTestDlg::done(int nResult) {
    m_keepAlive.Stop();
    m_steps.Close();
    QDialog::done(nResult);
}

void CTestDlg::OnSysCommand(unsigned nID) {
    if ((nID & 0xFFF0) == IDM_ABOUT) {
        CAboutDlg dlgAbout(this);
        dlgAbout.exec();
    } else if ((nID & 0xFFF0) == SC_CLOSE) {
        close();
    }
}

void CTestDlg::OnHelp() {
    if (m_help)
        m_help(HELP_CONTENTS);
}

void CTestDlg::contextMenuEvent(QContextMenuEvent* event) {
    m_pSysMenu->popup(event->globalPos());
}

// Each COM button's tooltip names the device it stands for at the moment it is shown, so a
// device plugged in meanwhile shows up, and one that was pulled shows as such.
bool CTestDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        for (std::size_t i = 0; i < kPortButtons.size(); ++i)
            if (watched == Controls().Control(kPortButtons[i]))
                Controls()
                    .Control(kPortButtons[i])
                    ->setToolTip(DescribePort(m_port.PortNames(), kPortNames[i]));
    }
    return QDialog::eventFilter(watched, event);
}
