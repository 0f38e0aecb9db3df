#include "RemoteLine.h"

#include "TcpStream.h"
#include "TlsStream.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

using namespace std::chrono_literals;
using namespace telnet;

namespace {

// What the RFC 2217 server ser2net writes into the stream of a second client before it closes
// the connection.
constexpr std::string_view kInUse = "in use";

// RFC 2217's codes for the panel's settings.
constexpr std::uint8_t kDataSize8 = 8;
constexpr std::uint8_t kParityNone = 1;
constexpr std::uint8_t kStopSize1 = 1;
constexpr std::uint8_t kControlHardware = 3;
constexpr std::uint8_t kPurgeTransmit = 2; // the remote's buffer towards its serial line
constexpr std::uint8_t kModemCtsAndDelta = kModemCts | 0x01;

std::string BigEndian32(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

} // namespace

std::variant<std::unique_ptr<CRemoteLine>, LineFailure>
CRemoteLine::Connect(const RemoteAddress& address, const WaitHook& onWait) {
    TlsOptions options;
    if (address.secure) {
        auto parsed = ParseTlsOptions(address.options);
        if (std::holds_alternative<TlsOptionsError>(parsed))
            return LineFailure{LinkStep::Secure, EINVAL, LinkSetting::None, LinkTls::Options};
        options = std::move(std::get<TlsOptions>(parsed));
    }
    auto socket = CTcpStream::Connect(address, WaitClock::now() + kConnectBound, onWait);
    if (auto* failure = std::get_if<LineFailure>(&socket))
        return *failure;
    if (!address.secure)
        return std::make_unique<CRemoteLine>(
            std::make_unique<CTcpStream>(std::move(std::get<UniqueFd>(socket))));
    const std::string keyFile = options.keyFile;
    auto stream = std::make_unique<CTlsStream>(std::move(std::get<UniqueFd>(socket)), address.host,
                                               std::move(options));
    if (const auto failure = stream->Handshake(WaitClock::now() + kNegotiationBound, onWait))
        return LineFailure{LinkStep::Secure, failure->errorNumber, LinkSetting::None,
                           failure->cause};
    const bool keyOpenToOthers = stream->KeyOpenToOthers();
    auto line = std::make_unique<CRemoteLine>(std::move(stream), true);
    if (keyOpenToOthers)
        line->m_openKey = keyFile;
    return line;
}

std::optional<LineFailure> CRemoteLine::Configure(int nBaudRate, const WaitHook& onWait) {
    const auto deadline = WaitClock::now() + kNegotiationBound;
    std::string request = Negotiation(kWill, kBinary) + Negotiation(kDo, kBinary) +
                          Negotiation(kWill, kComPortOption);
    if (const int error = SendAll(request, deadline, onWait))
        return Broken(error);
    if (auto failure = AwaitRemote(
            [this] {
                return m_refused ||
                       (m_remoteDoesBinary && m_remoteSendsBinary && m_remoteDoesComPort);
            },
            deadline, onWait))
        return failure;
    if (m_refused)
        return LineFailure{LinkStep::Negotiate, EPROTONOSUPPORT};

    if (nBaudRate <= 0)
        return LineFailure{LinkStep::WriteSettings, EINVAL, LinkSetting::Speed};
    struct Setting {
        ComPort command;
        std::string value;
        LinkSetting setting;
    };
    const std::array<Setting, 5> settings = {{
        {ComPort::SetBaudRate, BigEndian32(static_cast<std::uint32_t>(nBaudRate)),
         LinkSetting::Speed},
        {ComPort::SetDataSize, std::string(1, static_cast<char>(kDataSize8)),
         LinkSetting::DataSize},
        {ComPort::SetParity, std::string(1, static_cast<char>(kParityNone)), LinkSetting::Parity},
        {ComPort::SetStopSize, std::string(1, static_cast<char>(kStopSize1)),
         LinkSetting::StopSize},
        {ComPort::SetControl, std::string(1, static_cast<char>(kControlHardware)),
         LinkSetting::FlowControl},
    }};
    // The mask first: its answer is the remote's modem state (ser2net answers it with a
    // NOTIFY-MODEMSTATE), in by the time the settings' replies are.
    request = ComPortCommand(ComPort::SetModemStateMask,
                             std::string(1, static_cast<char>(kModemCtsAndDelta)));
    for (const Setting& s : settings) {
        m_replies.at(static_cast<std::size_t>(s.command)).reset();
        request += ComPortCommand(s.command, s.value);
    }
    if (const int error = SendAll(request, deadline, onWait))
        return Broken(error);
    if (auto failure = AwaitRemote(
            [&] {
                return std::ranges::all_of(settings, [&](const Setting& s) {
                    return m_replies.at(static_cast<std::size_t>(s.command)).has_value();
                });
            },
            deadline, onWait))
        return failure;
    for (const Setting& s : settings)
        if (m_replies.at(static_cast<std::size_t>(s.command)) != s.value)
            return LineFailure{LinkStep::WriteSettings, EINVAL, s.setting};
    m_data.clear(); // nothing the remote said before the panel's line was set is the panel's
    return std::nullopt;
}

std::optional<LineFailure> CRemoteLine::AwaitRemote(const std::function<bool()>& done,
                                                    WaitClock::time_point deadline,
                                                    const WaitHook& onWait) {
    for (;;) {
        if (const int error = Receive())
            return Broken(error);
        if (done())
            return std::nullopt;
        if (const int error = WaitReady(Fd(), POLLIN, deadline, onWait))
            return LineFailure{LinkStep::Negotiate, error};
    }
}

// The remote ended the connection while the line was being set up: ser2net says first, in the
// stream, when its port is taken by another client.
LineFailure CRemoteLine::Broken(int errorNumber) const {
    if (m_data.find(kInUse) != std::string::npos)
        return {LinkStep::Open, EBUSY};
    // A TLS port behind a plain name: ser2net closes at the first bytes that are no TLS, without
    // a word; another server sends a TLS alert first. A Telnet server always speaks first.
    const bool closed = errorNumber == ECONNRESET || errorNumber == EPIPE;
    if (!m_secure && ((closed && m_firstBytes.empty()) || CTlsStream::LooksLikeTls(m_firstBytes)))
        return {LinkStep::Negotiate, EPROTO, LinkSetting::None, LinkTls::TlsExpected};
    return {LinkStep::Negotiate, errorNumber};
}

// A remote that never stops sending neither holds the link here nor fills its memory: a call reads
// at most kReadsPerCall times (the waits' deadlines do the rest), and of the data only the latest
// kDataKept bytes are kept, which hold the last XON or XOFF, all that counts of it.
int CRemoteLine::Receive() {
    constexpr int kReadsPerCall = 16;
    constexpr std::size_t kDataKept = 4096;
    for (int reads = 0; reads < kReadsPerCall; ++reads) {
        char input[512];
        const ssize_t n = m_stream->Read(input, sizeof input);
        if (n == 0)
            return ECONNRESET; // the remote closed the connection
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR)
                return 0;
            return errno == ETIMEDOUT || errno == EPIPE ? ECONNRESET : errno;
        }
        if (m_firstBytes.size() < 2)
            m_firstBytes.append(input,
                                std::min(static_cast<std::size_t>(n), 2 - m_firstBytes.size()));
        std::vector<Event> events;
        m_decoder.Feed(std::string_view(input, static_cast<std::size_t>(n)), m_data, events);
        for (const Event& event : events)
            Handle(event);
        if (m_data.size() > kDataKept)
            m_data.erase(0, m_data.size() - kDataKept);
    }
    return 0;
}

void CRemoteLine::Handle(const Event& event) {
    if (event.kind == Event::Kind::ComPort) {
        if (event.command == kServerReply + static_cast<std::uint8_t>(ComPort::NotifyModemState) &&
            event.value.size() == 1)
            m_modemState = static_cast<std::uint8_t>(event.value[0]);
        else if (event.command > kServerReply &&
                 static_cast<std::size_t>(event.command - kServerReply) < m_replies.size())
            m_replies.at(static_cast<std::size_t>(event.command - kServerReply)) = event.value;
        return;
    }
    const bool ours = event.option == kBinary || event.option == kComPortOption;
    switch (event.verb) {
    case kDo:
        if (ours) {
            (event.option == kBinary ? m_remoteDoesBinary : m_remoteDoesComPort) = true;
        } else if (!m_declinedDo.test(event.option)) {
            // Answered once: a remote that asks again gets no loop.
            m_declinedDo.set(event.option);
            m_pending += Negotiation(kWont, event.option);
        }
        break;
    case kWill:
        if (event.option == kBinary) {
            m_remoteSendsBinary = true;
        } else if (!m_declinedWill.test(event.option)) {
            m_declinedWill.set(event.option);
            m_pending += Negotiation(kDont, event.option);
        }
        break;
    case kDont:
    case kWont:
        if (ours && (event.option != kComPortOption || event.verb != kWont))
            m_refused = true;
        break;
    default:
        break;
    }
}

int CRemoteLine::SendAll(std::string_view bytes, WaitClock::time_point deadline,
                         const WaitHook& onWait) {
    m_pending += bytes;
    for (;;) {
        if (const int error = FlushPending(); error != EAGAIN)
            return error;
        if (const int error = WaitReady(Fd(), m_stream->Wants(), deadline, onWait))
            return error;
    }
}

// 0 once everything pending is taken, EAGAIN while the socket has no room, else the errno.
int CRemoteLine::FlushPending() {
    while (!m_pending.empty()) {
        const ssize_t n = m_stream->Write(m_pending.data(), m_pending.size());
        if (n < 0)
            return errno == EAGAIN || errno == EINTR      ? EAGAIN
                   : errno == EPIPE || errno == ETIMEDOUT ? ECONNRESET
                                                          : errno;
        m_pending.erase(0, static_cast<std::size_t>(n));
    }
    m_pendingIsByte = false;
    return 0;
}

int CRemoteLine::Write(char c) {
    // A byte the socket took in part is completed before anything else is written.
    const bool completing = m_pendingIsByte;
    if (!m_pending.empty())
        if (const int error = FlushPending())
            return error;
    if (completing)
        return 0;
    m_pending = EscapeData(std::string_view(&c, 1));
    m_pendingIsByte = true;
    return FlushPending();
}

short CRemoteLine::WriteEvents() const {
    const short wants = m_stream->Wants();
    return wants != 0 ? wants : static_cast<short>(POLLOUT);
}

int CRemoteLine::Read(std::string& data) {
    const int error = Receive();
    data += m_data;
    m_data.clear();
    if (error == 0 && !m_pending.empty() && !m_pendingIsByte) // answers to the remote's requests
        if (const int failed = FlushPending(); failed != EAGAIN)
            return failed;
    return error;
}

void CRemoteLine::DropHeldOutput() {
    // A byte half taken is finished as a byte no longer: its rest still has to go, or the
    // stream would lose its framing.
    m_pendingIsByte = false;
    (void)SendAll(
        ComPortCommand(ComPort::PurgeData, std::string(1, static_cast<char>(kPurgeTransmit))),
        WaitClock::now() + 100ms, nullptr);
}

bool CRemoteLine::HungUp() const {
    pollfd pfd{Fd(), POLLRDHUP, 0};
    return ::poll(&pfd, 1, 0) == 1 && (pfd.revents & (POLLRDHUP | POLLHUP | POLLERR));
}
