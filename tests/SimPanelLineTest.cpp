#include "LineWatch.h"
#include "PanelLine.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace sim {
namespace {

// Everything the panel reads until the line has been quiet for a moment.
std::string ReadAvailable(const PanelLine& line) {
    std::string got;
    pollfd pfd{line.Fd(), POLLIN, 0};
    for (int waitMs = 5000; ::poll(&pfd, 1, waitMs) == 1; waitMs = 50) {
        std::uint8_t buffer[64];
        const ReadResult r = line.Read(buffer);
        EXPECT_FALSE(r.error) << r.error.message();
        if (r.error || r.count == 0) {
            break;
        }
        got.append(reinterpret_cast<const char*>(buffer), r.count);
    }
    return got;
}

TEST(SimPanelLine, PseudoTerminalCarriesRawBytesAndOutlivesTheToolClosingIt) {
    const PanelLine line = PanelLine::OpenPseudoTerminal(38400);
    ASSERT_TRUE(line.IsOpen()) << line.Error();
    const std::string sent = "Hallo~L12\n\xE4"; // no line-ending translation on the way
    for (int session = 0; session < 3; ++session) {
        const UniqueFd tool(::open(line.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        ASSERT_TRUE(tool.valid());
        ASSERT_EQ(::write(tool.get(), sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
        EXPECT_EQ(ReadAvailable(line), sent) << session;
    }
    std::uint8_t buffer[8];
    const ReadResult idle = line.Read(buffer); // the tool has closed its side: no hangup
    EXPECT_TRUE(!idle.error && idle.count == 0) << idle.error.message();
}

// The watch proves a gap only by finding the line empty: a byte that was already waiting when
// the one before was read has none, one written during a pause has one that lies within the
// pause.
TEST(SimPanelLine, WatchSeesTheLineEmptyOnlyBetweenBytesThatCameApart) {
    using namespace std::chrono_literals;
    const PanelLine line = PanelLine::OpenPseudoTerminal(38400);
    ASSERT_TRUE(line.IsOpen()) << line.Error();
    const UniqueFd tool(::open(line.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(tool.valid());
    LineWatch watch(line);
    std::uint8_t byte = 0; // one byte per read, so that waiting bytes take a read each

    ASSERT_EQ(::write(tool.get(), "ab", 2), 2);
    const Arrival a = watch.Next({&byte, 1});
    ASSERT_EQ(a.count, 1u) << a.error.message();
    const Arrival b = watch.Next({&byte, 1});
    ASSERT_EQ(b.count, 1u) << b.error.message();
    EXPECT_LE(b.emptyBefore, a.readAt) << "an empty line seen while b was waiting";

    std::chrono::steady_clock::time_point written;
    std::thread writer([&] {
        std::this_thread::sleep_for(50ms);
        written = std::chrono::steady_clock::now();
        EXPECT_EQ(::write(tool.get(), "c", 1), 1);
    });
    const Arrival c = watch.Next({&byte, 1});
    writer.join();
    ASSERT_EQ(c.count, 1u) << c.error.message();
    EXPECT_EQ(byte, 'c');
    EXPECT_GT(c.emptyBefore, b.readAt) << "the pause before c went unseen";
    EXPECT_GE(c.readAt, written);
    EXPECT_LT(c.emptyBefore, c.readAt);
}

TEST(SimPanelLine, WatchStopsFromAnotherThread) {
    using namespace std::chrono_literals;
    const PanelLine line = PanelLine::OpenPseudoTerminal(38400);
    ASSERT_TRUE(line.IsOpen()) << line.Error();
    LineWatch watch(line);
    std::thread stopper([&] {
        std::this_thread::sleep_for(20ms);
        watch.Stop();
    });
    std::uint8_t byte = 0;
    EXPECT_TRUE(watch.Next({&byte, 1}).stopped);
    stopper.join();
    EXPECT_FALSE(watch.Pause(10s)) << "a pause after the stop";
}

} // namespace
} // namespace sim
