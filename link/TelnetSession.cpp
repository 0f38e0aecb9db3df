#include "TelnetSession.h"

#include <algorithm>

namespace telnet {

namespace {

// RFC 2217's codes for the panel's settings.
constexpr char kDataSize8 = 8;
constexpr char kParityNone = 1;
constexpr char kStopSize1 = 1;
constexpr char kControlHardware = 3;
constexpr char kPurgeTransmit = 2; // the remote's buffer towards its serial line
constexpr char kModemCtsAndDelta = static_cast<char>(kModemCts | 0x01);

std::string BigEndian32(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

bool Printable(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x20 && b != 0x7F; // UTF-8 included
}

} // namespace

void CSession::Greet() {
    m_output += Negotiation(kWill, kBinary) + Negotiation(kDo, kBinary) +
                Negotiation(kWill, kComPortOption);
}

void CSession::RequestSettings(std::uint32_t baudRate) {
    m_settings = {
        {ComPort::SetBaudRate, BigEndian32(baudRate), LinkSetting::Speed, {}},
        {ComPort::SetDataSize, std::string(1, kDataSize8), LinkSetting::DataSize, {}},
        {ComPort::SetParity, std::string(1, kParityNone), LinkSetting::Parity, {}},
        {ComPort::SetStopSize, std::string(1, kStopSize1), LinkSetting::StopSize, {}},
        {ComPort::SetControl, std::string(1, kControlHardware), LinkSetting::FlowControl, {}},
    };
    // The mask first: ser2net answers it with the modem state, in by the time the settings'
    // replies are.
    m_output += ComPortCommand(ComPort::SetModemStateMask, std::string(1, kModemCtsAndDelta));
    for (const Setting& s : m_settings)
        m_output += ComPortCommand(s.command, s.value);
}

void CSession::Send(char c) {
    m_output += EscapeData(std::string_view(&c, 1));
    m_byteEnd = m_output.size();
}

void CSession::Purge() {
    m_byteEnd = 0;
    m_output += ComPortCommand(ComPort::PurgeData, std::string(1, kPurgeTransmit));
}

void CSession::Sent(std::size_t count) {
    count = std::min(count, m_output.size());
    m_output.erase(0, count);
    m_byteEnd = m_byteEnd > count ? m_byteEnd - count : 0;
}

// A byte at a time, so that what the remote says and the panel's data keep their order: an XOFF
// right behind the last setting's reply is the panel's, the same bytes before it are not.
void CSession::Feed(std::string_view in) {
    for (const char c : in) {
        if (m_firstBytes.size() < 2)
            m_firstBytes += c;
        m_byteData.clear();
        m_byteEvents.clear();
        m_decoder.Feed(std::string_view(&c, 1), m_byteData, m_byteEvents);
        for (const Event& event : m_byteEvents)
            Handle(event);
        for (const char data : m_byteData)
            Data(data);
    }
}

void CSession::Data(char c) {
    if (!Configured()) {
        if (m_words.size() < kWordsKept)
            m_words += c;
        return;
    }
    if (c == kXon || c == kXoff)
        m_xoff = c == kXoff;
}

void CSession::Handle(const Event& event) {
    if (event.kind == Event::Kind::ComPort) {
        HandleComPort(event);
        return;
    }
    const bool ours = event.option == kBinary || event.option == kComPortOption;
    switch (event.verb) {
    case kDo:
        if (ours)
            (event.option == kBinary ? m_remoteDoesBinary : m_remoteDoesComPort) = true;
        else
            Answer(kWont, event.option);
        break;
    case kWill:
        if (event.option == kBinary)
            m_remoteSendsBinary = true;
        else
            Answer(kDont, event.option);
        break;
    case kDont:
    case kWont:
        // A server that will not send COM-PORT-OPTION itself declines nothing the link asked.
        if (ours && (event.option != kComPortOption || event.verb != kWont))
            m_refused = true;
        break;
    default:
        break;
    }
}

void CSession::Answer(std::uint8_t verb, std::uint8_t option) {
    auto& answered = verb == kWont ? m_answeredDo : m_answeredWill;
    if (answered.test(option))
        return;
    answered.set(option);
    m_output += Negotiation(verb, option);
}

void CSession::HandleComPort(const Event& event) {
    if (event.command <= kServerReply)
        return;
    const auto command = static_cast<ComPort>(event.command - kServerReply);
    switch (command) {
    case ComPort::NotifyModemState:
        if (event.value.size() == 1)
            m_modemState = static_cast<std::uint8_t>(event.value[0]);
        return;
    case ComPort::FlowControlSuspend:
        m_suspended = true;
        return;
    case ComPort::FlowControlResume:
        m_suspended = false;
        return;
    default:
        break;
    }
    for (Setting& s : m_settings)
        if (s.command == command)
            s.reply = event.value;
}

bool CSession::Agreed() const {
    return m_remoteDoesBinary && m_remoteSendsBinary && m_remoteDoesComPort;
}

bool CSession::Configured() const {
    return !m_settings.empty() &&
           std::ranges::all_of(m_settings, [](const Setting& s) { return s.reply.has_value(); });
}

LinkSetting CSession::RefusedSetting() const {
    for (const Setting& s : m_settings)
        if (s.reply && *s.reply != s.value)
            return s.setting;
    return LinkSetting::None;
}

LinkHold CSession::Held() const {
    if (m_modemState && !(*m_modemState & kModemCts))
        return LinkHold::CtsOff;
    if (m_xoff || m_suspended)
        return LinkHold::OutputHeld;
    return LinkHold::None;
}

std::string CSession::Words() const {
    std::string line;
    for (const char c : m_words) {
        if (c == '\r' || c == '\n' || c == '\t') {
            if (!line.empty() && line.back() != ' ')
                line += ' ';
        } else if (Printable(c)) {
            line += c;
        } else {
            return {}; // not text: nothing the operator could read
        }
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

} // namespace telnet
