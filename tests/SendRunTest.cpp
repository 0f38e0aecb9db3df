// kelmora-send as a script runs it, against a pseudo-terminal: what arrives there byte for byte,
// what the run says and how it ends.
#include "LineReadback.h"
#include "PtyPair.h"
#include "SendProcess.h"
#include "Ser2net.h"

#include <ComPort.h>

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <csignal>

namespace {

class SendRunTest : public ::testing::Test {
protected:
    PtyPair panel;
    PortEnvironment ports{{panel.Path(), "", "", ""}};
};

std::string Utf8(std::u8string_view text) {
    return {reinterpret_cast<const char*>(text.data()), text.size()};
}

TEST_F(SendRunTest, ItemsGoOutInTheirOrderAsTheWindowsBytes) {
    const std::string input = "aus der Datei\r\nZeile 2\n";
    const auto result =
        SendProcess::Run({"--clear", Utf8(u8"Grüße\nvom Prüffeld: 5 €"), "-", "--led", "2=blink",
                          Utf8(u8"漢字 ~"), "-l3=AN", "--", Utf8(u8"-1 °C")},
                         input);

    const std::string expected = "~CGr\xFC\xDF"
                                 "e\r\nvom Pr\xFC"
                                 "ffeld: 5 \x80"
                                 "aus der Datei\r\nZeile 2\r\n~L12?? ~~L21-1 \xB0"
                                 "C";
    EXPECT_EQ(panel.Read(expected.size()), expected);
    EXPECT_EQ(panel.ReadAll(), "");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "") << "no progress line when standard error is no terminal";
    EXPECT_EQ(result.out, "");
}

TEST_F(SendRunTest, APortThatCannotOpenIsReportedLikeTheWindowAndNothingIsSent) {
    const std::string noEntry = "Gerät nicht gefunden";

    auto result = SendProcess::Run({"--port", "COM2", "Text"});
    EXPECT_EQ(result.status, 69);
    EXPECT_EQ(result.err,
              "Fehlernummer: 2 !\nCOM2 = " + PortEnvironment::Missing(2) + ": " + noEntry + "\n");

    result = SendProcess::Run({"--port=/nonexistent/kelmora-send", "Text"});
    EXPECT_EQ(result.status, 69);
    EXPECT_EQ(result.err, "Fehlernummer: 2 !\n/nonexistent/kelmora-send: " + noEntry + "\n");

    // A port held by the window (or any other program) is busy.
    const CComPort window([](const LinkError&) {});
    ASSERT_TRUE(window.IsOpen());
    result = SendProcess::Run({"Text"});
    EXPECT_EQ(result.status, 69);
    EXPECT_TRUE(result.err.starts_with("Fehlernummer: 16 !\nCOM1 = " + panel.Path() + ": "))
        << result.err;

    // A remote port where nobody listens.
    const std::string refused = "rfc2217://127.0.0.1:" + std::to_string(Ser2net::FreePort());
    result = SendProcess::Run({"--port", refused, "Text"});
    EXPECT_EQ(result.status, 69);
    EXPECT_TRUE(result.err.starts_with("Fehlernummer: 111 !\n" + refused + ": ")) << result.err;

    EXPECT_EQ(panel.ReadAll(), "");
}

TEST_F(SendRunTest, ADevicePathIsOpenedOnceAtTheChosenSpeed) {
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    // Closes too: the kernel merges an event into an unread one just like it.
    ASSERT_GE(::inotify_add_watch(watch, panel.Path().c_str(), IN_OPEN | IN_CLOSE), 0);

    const auto result = SendProcess::Run({"--baud", "9600", "-p", panel.Path(), "x"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(panel.Read(1), "x");
    EXPECT_EQ(ReadLine(panel.Slave()).outputSpeed, 9600u);

    int opens = 0;
    inotify_event events[16];
    for (ssize_t n; (n = ::read(watch, events, sizeof events)) > 0;) {
        for (ssize_t i = 0; i < n / static_cast<ssize_t>(sizeof(inotify_event)); ++i)
            opens += (events[i].mask & IN_OPEN) ? 1 : 0;
    }
    ::close(watch);
    EXPECT_EQ(opens, 1);
}

TEST_F(SendRunTest, AFarEndThatVanishesMidTextStopsTheRunWithOneError) {
    SendProcess run({std::string(400, 'a'), "--clear", "b"});
    ASSERT_EQ(panel.Read(10), std::string(10, 'a'));
    panel.CloseFarEnd();

    const auto result = run.Wait();
    EXPECT_EQ(result.status, 74);
    EXPECT_TRUE(result.err.starts_with("Fehlernummer: 5 !\nCOM1 = ")) << result.err;
    EXPECT_EQ(result.err.find("Fehlernummer", 1), std::string::npos) << result.err;
}

TEST_F(SendRunTest, UsageErrorsSendNothing) {
    // Which arguments are wrong is the parser's matter (SendOptionsTest); here: how a run ends.
    const std::vector<std::vector<std::string>> wrong = {
        {"--baud", "1234", "Text"},
        {},
        {"--port", "rfc2217://rack-3", "Text"},
        {"--port", "rfc2217+tls://rack-3:7011?ca=ca.pem&speed=9600", "Text"}};
    for (const auto& args : wrong) {
        const auto result = SendProcess::Run(args);
        EXPECT_EQ(result.status, 64) << testing::PrintToString(args);
        EXPECT_TRUE(result.err.starts_with("kelmora-send: ")) << result.err;
        EXPECT_NE(result.err.find("kelmora-send --help"), std::string::npos) << result.err;
    }
    EXPECT_EQ(panel.ReadAll(), "");
}

class SendRunStopTest : public SendRunTest, public ::testing::WithParamInterface<int> {};

TEST_P(SendRunStopTest, ASignalMidTextStopsAfterTheByteInFlightAndFreesThePort) {
    const std::string text(2000, 'z');
    SendProcess run({text});
    std::string arrived = panel.Read(20);
    ASSERT_EQ(arrived.size(), 20u);
    run.Signal(GetParam());

    const auto result = run.Wait();
    EXPECT_EQ(result.status, 128 + GetParam()) << "not killed by it: " << result.killedBy;
    EXPECT_EQ(result.err, "");
    arrived += panel.ReadAll();
    EXPECT_LT(arrived.size(), text.size());
    EXPECT_EQ(arrived, std::string(arrived.size(), 'z'));

    // The next run gets the port.
    EXPECT_EQ(SendProcess::Run({"weiter"}).status, 0);
    EXPECT_EQ(panel.Read(6), "weiter");
}

INSTANTIATE_TEST_SUITE_P(Signals, SendRunStopTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

TEST_F(SendRunTest, OnATerminalALongSendShowsProgressAndWipesItAtTheEnd) {
    PtyPair terminal;
    const std::string text(300, 'p');
    SendProcess run({text}, {}, terminal.Slave());
    EXPECT_EQ(panel.Read(text.size()), text);
    EXPECT_EQ(run.Wait().status, 0);

    const std::string shown = terminal.ReadAll();
    EXPECT_NE(shown.find("\r\033[Kkelmora-send: "), std::string::npos) << shown;
    EXPECT_NE(shown.find(" von 300 Zeichen gesendet, noch "), std::string::npos) << shown;
    EXPECT_TRUE(shown.ends_with("\r\033[K")) << shown;
}

TEST_F(SendRunTest, ListVersionAndHelp) {
    auto result = SendProcess::Run({"--list"});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out.starts_with("COM1 " + panel.Path() + "\nCOM2 " +
                                       PortEnvironment::Missing(2) + "\n"))
        << result.out;
    {
        PortEnvironment remote{{panel.Path(), "rfc2217://[::1]:7000", "", ""}};
        result = SendProcess::Run({"--list"});
        EXPECT_NE(result.out.find("\nCOM2 rfc2217://[::1]:7000\n"), std::string::npos)
            << result.out;
    }

    result = SendProcess::Run({"--vers"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "kelmora-send " PROJECT_VERSION "\n");

    result = SendProcess::Run({"--help", "--baud", "1234"});
    EXPECT_EQ(result.status, 0);
    for (const char* shown :
         {"Aufruf: kelmora-send", "--port", "--baud", "--clear", "--led", "--list", "--version",
          "\n  64 ", "\n  69 ", "\n  74 ", "\n  129 ", "\n  130 ", "\n  143 "})
        EXPECT_NE(result.out.find(shown), std::string::npos) << shown;
    EXPECT_EQ(panel.ReadAll(), "");
}

} // namespace
