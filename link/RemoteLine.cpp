#include "RemoteLine.h"

#include "ServerQuirks.h"
#include "TcpStream.h"
#include "TlsStream.h"

#include <algorithm>
#include <cerrno>

using namespace std::chrono_literals;

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
            std::make_unique<CTcpStream>(std::move(std::get<UniqueFd>(socket))), false,
            WaitClock::now() + kNegotiationBound);
    const std::string keyFile = options.keyFile;
    auto stream = std::make_unique<CTlsStream>(std::move(std::get<UniqueFd>(socket)), address.host,
                                               std::move(options));
    if (const auto failure = stream->Handshake(WaitClock::now() + kHandshakeBound, onWait))
        return LineFailure{LinkStep::Secure, failure->errorNumber, LinkSetting::None,
                           failure->cause};
    const bool keyOpenToOthers = stream->KeyOpenToOthers();
    auto line = std::make_unique<CRemoteLine>(std::move(stream), true,
                                              WaitClock::now() + kNegotiationBound);
    if (keyOpenToOthers)
        line->m_openKey = keyFile;
    return line;
}

std::optional<LineFailure> CRemoteLine::Configure(int nBaudRate, const WaitHook& onWait) {
    if (nBaudRate <= 0)
        return LineFailure{LinkStep::WriteSettings, EINVAL, LinkSetting::Speed};
    // A Telnet server speaks first: one that does not may be a TLS port behind a plain name,
    // and its answer to the greeting tells (see Broken).
    if (!m_secure)
        if (auto failure =
                AwaitRemote([this] { return m_session.Spoke(); },
                            std::min(m_setUpBy, WaitClock::now() + quirks::kListenFirst), onWait);
            failure && failure->errorNumber != ETIMEDOUT)
            return failure;
    m_greeted = true;
    m_session.Greet();
    if (auto failure = AwaitRemote([this] { return m_session.Refused() || m_session.Agreed(); },
                                   m_setUpBy, onWait))
        return failure;
    if (m_session.Refused())
        return LineFailure{LinkStep::Negotiate, EPROTONOSUPPORT};

    m_session.RequestSettings(static_cast<std::uint32_t>(nBaudRate));
    if (auto failure = AwaitRemote([this] { return m_session.Configured(); }, m_setUpBy, onWait))
        return failure;
    if (const LinkSetting refused = m_session.RefusedSetting(); refused != LinkSetting::None)
        return LineFailure{LinkStep::WriteSettings, EINVAL, refused};
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
        // The session's answers leave as soon as the stream has room.
        const auto events = static_cast<short>(
            POLLIN | (m_session.Output().empty() ? 0 : m_stream->Wants() | POLLOUT));
        if (const int error = WaitReady(Fd(), events, deadline, onWait,
                                        [this] { return m_stream->HasPending(); }))
            return LineFailure{LinkStep::Negotiate, error};
    }
}

// The remote ended the connection while the line was being set up.
LineFailure CRemoteLine::Broken(int errorNumber) const {
    const std::string words = m_session.Words();
    if (words.find(quirks::kInUse) != std::string::npos)
        return {LinkStep::Open, EBUSY};
    // A TLS port behind a plain name: a TLS alert, or silence until the greeting and then the
    // end without a word (see quirks::kListenFirst).
    const bool closed = errorNumber == ECONNRESET || errorNumber == EPIPE;
    if (!m_secure && (CTlsStream::LooksLikeTls(m_session.FirstBytes()) ||
                      (closed && m_greeted && !m_session.Spoke())))
        return {LinkStep::Negotiate, EPROTO, LinkSetting::None, LinkTls::TlsExpected};
    return {LinkStep::Negotiate, errorNumber, LinkSetting::None, LinkTls::None, words};
}

int CRemoteLine::Receive() {
    constexpr std::size_t kReadBudget = std::size_t{64} * 1024;
    if (m_broken)
        return m_broken;
    for (std::size_t taken = 0; taken < kReadBudget;) {
        char input[4096];
        const ssize_t n = m_stream->Read(input, sizeof input);
        if (n == 0) {
            m_broken = ECONNRESET; // the remote closed the connection
            return m_broken;
        }
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR)
                break;
            m_broken = errno;
            return m_broken;
        }
        m_session.Feed(std::string_view(input, static_cast<std::size_t>(n)));
        taken += static_cast<std::size_t>(n);
    }
    const int error = Flush();
    return error == EAGAIN ? 0 : error;
}

int CRemoteLine::Flush() {
    if (m_broken)
        return m_broken;
    while (!m_session.Output().empty()) {
        const std::string& output = m_session.Output();
        const ssize_t n = m_stream->Write(output.data(), output.size());
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR)
                return EAGAIN;
            m_broken = errno;
            return m_broken;
        }
        m_session.Sent(static_cast<std::size_t>(n));
    }
    return 0;
}

int CRemoteLine::Write(char c) {
    // Called again with the same byte after EAGAIN: then it is queued already.
    if (!m_session.Sending())
        m_session.Send(c);
    const int error = Flush();
    if (m_session.Sending())
        return error == 0 ? EAGAIN : error;
    return error == EAGAIN ? 0 : error; // answers queued behind it may wait
}

short CRemoteLine::WriteEvents() const {
    const short wants = m_stream->Wants();
    return wants != 0 ? wants : static_cast<short>(POLLOUT);
}

int CRemoteLine::Read(std::string& /*data*/) {
    return Receive();
}

LinkHold CRemoteLine::Hold() const {
    const LinkHold held = m_session.Held();
    return held != LinkHold::None ? held : LinkHold::OutputHeld;
}

void CRemoteLine::DropHeldOutput() {
    if (m_broken)
        return;
    m_session.Purge();
    const auto deadline = WaitClock::now() + 100ms;
    while (Flush() == EAGAIN && WaitReady(Fd(), WriteEvents(), deadline, nullptr) == 0) {
    }
}

bool CRemoteLine::HungUp() const {
    if (m_broken)
        return true;
    pollfd pfd{Fd(), POLLRDHUP, 0};
    return ::poll(&pfd, 1, 0) == 1 && (pfd.revents & (POLLRDHUP | POLLHUP | POLLERR));
}
