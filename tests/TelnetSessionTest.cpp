// The remote line's protocol, driven byte by byte: the Telnet session on its own, cut at every
// point between reads, and the whole link against scripted remotes on the loopback that do what
// ser2net does not.
#include "OpenAttempt.h"
#include "ScriptedPeer.h"

#include <ComPort.h>
#include <RemoteLine.h>
#include <TelnetSession.h>

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace std::string_literals;

// What a remote says, as bytes on the wire.
const std::string kAgree = "\xFF\xFD\x00\xFF\xFB\x00\xFF\xFD\x2C"s; // DO, WILL BINARY; DO COM-PORT
std::string Reply(char code, const std::string& value) {
    return "\xFF\xFA\x2C"s + code + value + "\xFF\xF0"s;
}
const std::string kSpeed38400 = "\x00\x00\x96\x00"s;
const std::string kReplies = Reply('\x65', kSpeed38400) + Reply('\x66', "\x08") +
                             Reply('\x67', "\x01") + Reply('\x68', "\x01") + Reply('\x69', "\x03");
const std::string kCtsOn = Reply('\x6B', "\x10");
const std::string kSuspend = Reply('\x6C', "");
const std::string kResume = Reply('\x6D', "");
const std::string kXoff = "\x13";
const std::string kXon = "\x11";
const std::string kChatter(5000, 'x');
// What the link says: the end of its greeting, of its settings, and PURGE-DATA of the remote's
// buffer towards its line.
const std::string kGreetingEnd = "\xFF\xFB\x2C"s;
const std::string kSettingsEnd = "\xFF\xFA\x2C\x05\x03\xFF\xF0"s;
const std::string kPurgeTransmit = "\xFF\xFA\x2C\x0C\x02\xFF\xF0"s;

struct SessionState {
    bool agreed;
    bool refused;
    bool configured;
    LinkSetting refusedSetting;
    LinkHold held;
    std::string answers; // what the session queued in answer
    std::string words;
};

SessionState Feed(const std::vector<std::string_view>& pieces) {
    telnet::CSession session;
    session.Greet();
    session.RequestSettings(38400);
    session.Sent(session.Output().size());
    for (const auto piece : pieces)
        session.Feed(piece);
    return {session.Agreed(), session.Refused(), session.Configured(), session.RefusedSetting(),
            session.Held(),   session.Output(),  session.Words()};
}

bool operator==(const SessionState& a, const SessionState& b) {
    const auto tie = [](const SessionState& x) {
        return std::tie(x.agreed, x.refused, x.configured, x.refusedSetting, x.held, x.answers,
                        x.words);
    };
    return tie(a) == tie(b);
}

TEST(TelnetSession, DecidesEveryByteInOrderWhereverTheStreamIsCut) {
    const std::string ok = kAgree + kCtsOn + kReplies;
    const struct {
        const char* name;
        std::string stream;
        SessionState expected;
    } cases[] = {
        {"agreed and set", ok, {true, false, true, LinkSetting::None, LinkHold::None, "", ""}},
        {"XOFF right behind the last reply",
         ok + kXoff,
         {true, false, true, LinkSetting::None, LinkHold::OutputHeld, "", ""}},
        {"XOFF before the last reply is not the panel's",
         kAgree + kCtsOn + kXoff + kReplies,
         {true, false, true, LinkSetting::None, LinkHold::None, "", ""}},
        {"XOFF, then much chatter",
         ok + kXoff + kChatter,
         {true, false, true, LinkSetting::None, LinkHold::OutputHeld, "", ""}},
        {"XOFF, chatter, XON",
         ok + kXoff + kChatter + kXon,
         {true, false, true, LinkSetting::None, LinkHold::None, "", ""}},
        {"SUSPEND",
         ok + kSuspend,
         {true, false, true, LinkSetting::None, LinkHold::OutputHeld, "", ""}},
        {"SUSPEND, RESUME",
         ok + kSuspend + kResume,
         {true, false, true, LinkSetting::None, LinkHold::None, "", ""}},
        {"SUSPEND outlasts XON",
         ok + kSuspend + kXon,
         {true, false, true, LinkSetting::None, LinkHold::OutputHeld, "", ""}},
        {"CTS off",
         kAgree + Reply('\x6B', "\x00"s) + kReplies + kXon,
         {true, false, true, LinkSetting::None, LinkHold::CtsOff, "", ""}},
        {"speed answered with another",
         kAgree + Reply('\x65', "\x00\x00\x25\x80"s) + kReplies.substr(10),
         {true, false, true, LinkSetting::Speed, LinkHold::None, "", ""}},
        {"flow control answered with none",
         kAgree + kReplies.substr(0, kReplies.size() - 7) + Reply('\x69', "\x01"),
         {true, false, true, LinkSetting::FlowControl, LinkHold::None, "", ""}},
        {"a setting unanswered",
         kAgree + kReplies.substr(0, kReplies.size() - 7),
         {true, false, false, LinkSetting::None, LinkHold::None, "", ""}},
        {"DONT BINARY",
         "\xFF\xFE\x00"s,
         {false, true, false, LinkSetting::None, LinkHold::None, "", ""}},
        {"WONT BINARY",
         "\xFF\xFC\x00"s,
         {false, true, false, LinkSetting::None, LinkHold::None, "", ""}},
        {"WONT COM-PORT declines nothing asked",
         "\xFF\xFC\x2C"s,
         {false, false, false, LinkSetting::None, LinkHold::None, "", ""}},
        {"a question asked twice is answered once, at once",
         "\xFF\xFD\x18\xFF\xFB\x03\xFF\xFD\x18"s,
         {false, false, false, LinkSetting::None, LinkHold::None, "\xFF\xFC\x18\xFF\xFE\x03"s, ""}},
        {"a server's words",
         "\xFF\xFB\x03"s + "Device open failure: Value or file not found\r\n",
         {false, false, false, LinkSetting::None, LinkHold::None, "\xFF\xFE\x03"s,
          "Device open failure: Value or file not found"}},
        {"no words in binary",
         "Port\x01\xFE"s,
         {false, false, false, LinkSetting::None, LinkHold::None, "", ""}},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(Feed({c.stream}) == c.expected) << c.name;
        std::vector<std::string_view> bytes;
        bytes.reserve(c.stream.size());
        for (std::size_t i = 0; i < c.stream.size(); ++i)
            bytes.push_back(std::string_view(c.stream).substr(i, 1));
        EXPECT_TRUE(Feed(bytes) == c.expected) << c.name << ", a byte at a time";
        const std::size_t step = c.stream.size() > 200 ? 97 : 1;
        for (std::size_t cut = 1; cut < c.stream.size(); cut += step) {
            const std::string_view s(c.stream);
            EXPECT_TRUE(Feed({s.substr(0, cut), s.substr(cut)}) == c.expected)
                << c.name << ", cut at " << cut;
        }
    }
}

TEST(TelnetSession, APartlyTakenByteIsSentWholeAndAPurgeAsksForTheTransmitBuffer) {
    telnet::CSession session;
    session.Send('\xFF');
    EXPECT_EQ(session.Output(), "\xFF\xFF");
    session.Sent(1);
    EXPECT_TRUE(session.Sending());
    session.Purge(); // the rest still goes, before the purge
    EXPECT_FALSE(session.Sending());
    EXPECT_EQ(session.Output(), "\xFF"s + kPurgeTransmit);
}

// The whole link against a scripted remote: what the open and one send come to, and every byte
// the remote got after the link's settings.
struct Scripted {
    const char* name;
    std::string greeting;                  // the remote's first words
    std::vector<ScriptedPeer::Step> steps; // and its answers
    std::size_t stopAfter;                 // the byte hook ends the send after so many bytes
    bool open;
    std::uint32_t sent;             // SendText's result
    std::vector<LinkError> reports; // step, number, hold, setting, words
    std::string afterSettings;      // what reached the remote behind the settings
};

LinkError Report(LinkStep step, int errorNumber, LinkHold hold = LinkHold::None,
                 LinkSetting setting = LinkSetting::None, std::string words = {}) {
    LinkError e;
    e.step = step;
    e.errorNumber = static_cast<std::uint32_t>(errorNumber);
    e.hold = hold;
    e.setting = setting;
    e.remoteWords = std::move(words);
    return e;
}

std::vector<ScriptedPeer::Step> Serving(const std::string& afterReplies) {
    return {{kGreetingEnd, kAgree}, {kSettingsEnd, kCtsOn + kReplies + afterReplies}};
}

TEST(ScriptedRemote, EachPeerGetsOneClearOutcomeAndNothingHeldReachesThePanel) {
    const Scripted cases[] = {
        {"serving", "", Serving(""), 99, true, 0, {}, "abc"},
        {"XOFF in the segment of the last reply",
         "",
         Serving(kXoff),
         99,
         true,
         ETIMEDOUT,
         {Report(LinkStep::Transmit, ETIMEDOUT, LinkHold::OutputHeld)},
         kPurgeTransmit},
        {"XOFF before a long chatter",
         "",
         Serving(kXoff + kChatter),
         99,
         true,
         ETIMEDOUT,
         {Report(LinkStep::Transmit, ETIMEDOUT, LinkHold::OutputHeld)},
         kPurgeTransmit},
        {"SUSPEND",
         "",
         Serving(kSuspend),
         99,
         true,
         ETIMEDOUT,
         {Report(LinkStep::Transmit, ETIMEDOUT, LinkHold::OutputHeld)},
         kPurgeTransmit},
        {"SUSPEND and RESUME", "", Serving(kSuspend + kResume), 99, true, 0, {}, "abc"},
        {"CTS off",
         "",
         Serving(Reply('\x6B', "\x00"s)),
         99,
         true,
         ETIMEDOUT,
         {Report(LinkStep::Transmit, ETIMEDOUT, LinkHold::CtsOff)},
         kPurgeTransmit},
        {"a send ended early", "", Serving(""), 1, true, ECANCELED, {}, "a" + kPurgeTransmit},
        {"asks first and waits for the answer",
         "\xFF\xFD\x18\xFF\xFD\x18"s,
         {{"\xFF\xFC\x18"s, ""}, {kGreetingEnd, kAgree}, {kSettingsEnd, kCtsOn + kReplies}},
         99,
         true,
         0,
         {},
         "abc"},
        {"speed answered with another",
         "",
         {{kGreetingEnd, kAgree},
          {kSettingsEnd, kCtsOn + Reply('\x65', "\x00\x00\x25\x80"s) + kReplies.substr(10)}},
         99,
         false,
         EBADF,
         {Report(LinkStep::WriteSettings, EINVAL, LinkHold::None, LinkSetting::Speed),
          Report(LinkStep::Transmit, EBADF)},
         ""},
        {"DONT BINARY",
         "",
         {{kGreetingEnd, "\xFF\xFE\x00"s}},
         99,
         false,
         EBADF,
         {Report(LinkStep::Negotiate, EPROTONOSUPPORT), Report(LinkStep::Transmit, EBADF)},
         ""},
        {"port in use",
         "\xFF\xFB\x03Port already in use\r\n"s,
         {{"", "", true}},
         99,
         false,
         EBADF,
         {Report(LinkStep::Open, EBUSY), Report(LinkStep::Transmit, EBADF)},
         ""},
        {"closes without a word",
         "",
         {{"", "", true}},
         99,
         false,
         EBADF,
         {Report(LinkStep::Negotiate, ECONNRESET), Report(LinkStep::Transmit, EBADF)},
         ""},
        {"says why it closes",
         "\xFF\xFB\x03"s,
         {{kGreetingEnd, "Device open failure: Value or file not found\r\n", true}},
         99,
         false,
         EBADF,
         {Report(LinkStep::Negotiate, ECONNRESET, LinkHold::None, LinkSetting::None,
                 "Device open failure: Value or file not found"),
          Report(LinkStep::Transmit, EBADF)},
         ""},
    };
    for (const Scripted& c : cases) {
        ScriptedPeer peer(c.greeting, c.steps);
        ReportLog log;
        std::uint32_t sent = 0;
        {
            CComPort port(log.Recorder(), "COM1:", 38400, peer.Url());
            EXPECT_EQ(port.IsOpen(), c.open) << c.name;
            port.SetByteHook([&](std::size_t n, auto) { return n < c.stopAfter; });
            sent = port.SendText("abc");
        }
        EXPECT_EQ(sent, c.sent) << c.name;
        ASSERT_EQ(log.reports.size(), c.reports.size()) << c.name;
        for (std::size_t i = 0; i < c.reports.size(); ++i) {
            const LinkError& got = log.reports[i];
            const LinkError& want = c.reports[i];
            EXPECT_EQ(got.step, want.step) << c.name << " #" << i;
            EXPECT_EQ(got.errorNumber, want.errorNumber) << c.name << " #" << i;
            EXPECT_EQ(got.hold, want.hold) << c.name << " #" << i;
            EXPECT_EQ(got.setting, want.setting) << c.name << " #" << i;
            EXPECT_EQ(got.tls, LinkTls::None) << c.name << " #" << i;
            EXPECT_EQ(got.remoteWords, want.remoteWords) << c.name << " #" << i;
        }
        const std::string received = peer.Received();
        const std::size_t settings = received.find(kSettingsEnd);
        EXPECT_EQ(settings == std::string::npos ? ""
                                                : received.substr(settings + kSettingsEnd.size()),
                  c.afterSettings)
            << c.name;
    }
}

// Bytes held above the descriptor, as TLS holds the rest of a record that one call did not read:
// no wait on the descriptor sees them, so the link reads them before it waits. This stream holds
// all it has there, more than the link reads at once, and answers the settings when asked.
class HeldStream final : public CStream {
public:
    explicit HeldStream(std::string held)
        : m_held(std::move(held)) {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) == 0) {
            m_quiet.reset(fds[0]); // nothing ever arrives on it
            m_peer.reset(fds[1]);
        }
    }
    [[nodiscard]] int Fd() const override { return m_quiet.get(); }
    [[nodiscard]] ssize_t Write(const char* data, std::size_t size) override {
        if (std::string_view(data, size).find(kSettingsEnd) != std::string_view::npos)
            m_held += kCtsOn + kReplies;
        return static_cast<ssize_t>(size);
    }
    [[nodiscard]] ssize_t Read(char* data, std::size_t size) override {
        if (m_held.empty()) {
            errno = EAGAIN;
            return -1;
        }
        const std::size_t n = m_held.copy(data, size);
        m_held.erase(0, n);
        return static_cast<ssize_t>(n);
    }
    [[nodiscard]] short Wants() const override { return POLLIN; }
    [[nodiscard]] bool HasPending() const override { return !m_held.empty(); }
    void Finish(const WaitHook& /*onWait*/) override {}

private:
    std::string m_held;
    UniqueFd m_quiet;
    UniqueFd m_peer;
};

TEST(RemoteLineWait, BytesHeldAboveTheDescriptorAreReadBeforeAnyWait) {
    CRemoteLine line(std::make_unique<HeldStream>(std::string(300'000, 'x') + kAgree), false,
                     WaitClock::now() + CRemoteLine::kNegotiationBound);
    const auto failure = line.Configure(38400, nullptr);
    ASSERT_FALSE(failure) << "step " << static_cast<int>(failure.value_or(LineFailure{}).step)
                          << ", " << failure.value_or(LineFailure{}).errorNumber;
}

} // namespace
