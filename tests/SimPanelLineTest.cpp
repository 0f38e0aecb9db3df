#include "PanelLine.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <string>

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

} // namespace
} // namespace sim
