#include "PanelWindow.h"

#include "Cp1252.h"
#include "DisplayWidget.h"
#include "LedWidget.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace sim {
namespace {

constexpr int kBlinkHalfPeriodMs = 500;
constexpr int kLogLines = 20000;
constexpr std::uint8_t kXon = 0x11;
constexpr std::uint8_t kXoff = 0x13;

QString ModeText(LedMode mode) {
    switch (mode) {
    case LedMode::Off:
        return QStringLiteral("aus");
    case LedMode::On:
        return QStringLiteral("an");
    case LedMode::Blink:
        return QStringLiteral("blinkt");
    }
    return {};
}

QString LineText(const PanelLine& line) {
    const QString speed = QStringLiteral("%1 Bit/s").arg(line.Baud());
    const QString path = QString::fromStdString(line.Path());
    if (line.IsPseudoTerminal()) {
        return QStringLiteral("Pfad für das Prüfprogramm: %1    (Pseudo-Terminal, Leitung auf %2)")
            .arg(path, speed);
    }
    return QStringLiteral("Gerät: %1, %2").arg(path, speed);
}

} // namespace

PanelWindow::PanelWindow(PanelLine line, int rows, int columns, QWidget* parent)
    : QWidget(parent)
    , panel_(rows, columns)
    , log_(Clock::now())
    , reader_(std::move(line)) {
    setWindowTitle(QStringLiteral("Kelmora-Panel (virtuell)"));
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    auto* pathLabel = new QLabel(LineText(reader_.Line()), this);
    pathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    display_ = new DisplayWidget(panel_.Rows(), panel_.Columns(), this);

    auto* ledBox = new QGroupBox(QStringLiteral("LEDs"), this);
    auto* ledGrid = new QGridLayout(ledBox);
    for (int i = 0; i < PanelDecoder::kLedCount; ++i) {
        leds_[i] = new LedWidget(ledBox);
        leds_[i]->setAccessibleName(QStringLiteral("LED %1").arg(i + 1));
        auto* label = new QLabel(QString::number(i + 1), ledBox);
        ledStates_[i] = new QLabel(ledBox);
        ledGrid->addWidget(leds_[i], 0, i, Qt::AlignCenter);
        ledGrid->addWidget(label, 1, i, Qt::AlignCenter);
        ledGrid->addWidget(ledStates_[i], 2, i, Qt::AlignCenter);
    }

    halt_ = new QPushButton(QStringLiteral("Halt (XOFF)"), this);
    halt_->setCheckable(true);
    halt_->setToolTip(
        QStringLiteral("Gedrückt: XOFF an das Prüfprogramm senden; losgelassen: XON senden."));
    openSequence_ = new QLabel(this);
    lineState_ = new QLabel(this);

    auto* logBox = new QGroupBox(QStringLiteral("Empfangene Bytes"), this);
    auto* header = new QLabel(QString::fromStdString(LogHeader()), logBox);
    header->setFont(fixed);
    byteLog_ = new QPlainTextEdit(logBox);
    byteLog_->setReadOnly(true);
    byteLog_->setFont(fixed);
    byteLog_->setLineWrapMode(QPlainTextEdit::NoWrap);
    byteLog_->setMaximumBlockCount(kLogLines);
    byteLog_->setMinimumHeight(200);
    auto* logLayout = new QVBoxLayout(logBox);
    logLayout->addWidget(header);
    logLayout->addWidget(byteLog_);

    auto* top = new QHBoxLayout;
    top->addWidget(display_);
    top->addWidget(ledBox);
    top->addStretch();
    auto* controls = new QHBoxLayout;
    controls->addWidget(halt_);
    controls->addWidget(openSequence_);
    controls->addStretch();
    controls->addWidget(lineState_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pathLabel);
    layout->addLayout(top);
    layout->addLayout(controls);
    layout->addWidget(logBox, 1);

    connect(&reader_, &LineReader::BytesReceived, this, &PanelWindow::OnBytes);
    connect(&reader_, &LineReader::ReadFailed, this, &PanelWindow::OnReadFailed);
    connect(&reader_, &LineReader::StaleExclusivityCleared, this,
            &PanelWindow::OnStaleExclusivityCleared);
    connect(halt_, &QPushButton::toggled, this, &PanelWindow::OnHalt);
    connect(&blink_, &QTimer::timeout, this, &PanelWindow::OnBlink);
    blink_.start(kBlinkHalfPeriodMs);
    ShowPanel();
}

void PanelWindow::OnBytes(const QByteArray& bytes, Clock::time_point emptyBefore,
                          Clock::time_point readAt) {
    lineState_->clear();
    const auto data = std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                static_cast<std::size_t>(bytes.size()));
    const std::vector<LogEntry> entries = log_.Receive(panel_, data, emptyBefore, readAt);
    if (!entries.empty()) {
        QStringList lines;
        lines.reserve(static_cast<qsizetype>(entries.size()));
        for (const LogEntry& entry : entries) {
            lines << QString::fromStdString(FormatLogEntry(entry));
        }
        byteLog_->appendPlainText(lines.join(QLatin1Char('\n')));
    }
    ShowPanel();
}

void PanelWindow::OnReadFailed(const QString& message) {
    lineState_->setText(QStringLiteral("Leitung gestört: %1").arg(message));
}

void PanelWindow::OnStaleExclusivityCleared() {
    byteLog_->appendPlainText(
        QStringLiteral("Exklusivzugriff eines beendeten Prüfprogramms aufgehoben: die Leitung "
                       "ist wieder frei."));
}

void PanelWindow::OnHalt(bool halted) {
    const std::uint8_t byte = halted ? kXoff : kXon;
    const std::error_code ec = reader_.Line().Send(byte);
    const QString name = halted ? QStringLiteral("XOFF") : QStringLiteral("XON");
    if (ec) {
        byteLog_->appendPlainText(QStringLiteral("%1 nicht gesendet: %2")
                                      .arg(name, QString::fromStdString(ec.message())));
        return;
    }
    byteLog_->appendPlainText(QStringLiteral("%1 an das Prüfprogramm gesendet (Byte %2)")
                                  .arg(name)
                                  .arg(byte, 2, 16, QLatin1Char('0')));
}

void PanelWindow::OnBlink() {
    blinkLit_ = !blinkLit_;
    for (LedWidget* led : leds_) {
        led->SetBlinkPhase(blinkLit_);
    }
}

void PanelWindow::ShowPanel() {
    QStringList rows;
    for (const std::string& row : panel_.DisplayText()) {
        rows << QString::fromStdString(row);
    }
    display_->SetContent(rows, panel_.CursorRow(), panel_.CursorColumn());
    for (int i = 0; i < PanelDecoder::kLedCount; ++i) {
        leds_[i]->SetMode(panel_.Led(i));
        ledStates_[i]->setText(ModeText(panel_.Led(i)));
    }
    const std::string& open = panel_.OpenSequence();
    openSequence_->setText(
        open.empty()
            ? QString()
            : QStringLiteral("Befehl offen: %1").arg(QString::fromStdString(cp1252::ToUtf8(open))));
}

} // namespace sim
