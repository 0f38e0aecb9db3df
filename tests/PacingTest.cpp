// What the link guarantees and no machine noise can break: lower bounds on the pacing, an empty
// string that does nothing, and a refused setting that keeps its handle until the next reopen.
#include "LineReadback.h"
#include "PtyPair.h"

#include <ComPort.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <vector>

namespace {

using Clock = CComPort::Clock;
using namespace std::chrono_literals;

class PacingTest : public ::testing::Test {
protected:
    PtyPair panel;
    PortEnvironment ports{{panel.Path(), "", "", ""}};
    std::vector<LinkError> reports;
    CComPort port{[this](const LinkError& e) {
        reports.push_back(e);
    }};
};

TEST_F(PacingTest, EveryByteLeavesAtLeastThreeMillisecondsAfterThePreviousOne) {
    std::vector<Clock::time_point> writes;
    std::vector<std::size_t> counts;
    port.SetByteHook([&](std::size_t nSent, Clock::time_point written) {
        counts.push_back(nSent);
        writes.push_back(written);
        return true;
    });
    const std::string text(40, 'x');

    const Clock::time_point start = Clock::now();
    EXPECT_EQ(port.SendText(text), 0u);
    const Clock::duration took = Clock::now() - start;

    EXPECT_EQ(panel.Read(text.size()), text);
    ASSERT_EQ(writes.size(), text.size());
    for (std::size_t i = 0; i < counts.size(); ++i)
        EXPECT_EQ(counts[i], i + 1);
    for (std::size_t i = 1; i < writes.size(); ++i)
        EXPECT_GE(writes[i] - writes[i - 1], CComPort::kBytePause) << "byte " << i;
    // The pause after the last byte counts too.
    EXPECT_GE(took, CComPort::kBytePause * static_cast<int>(text.size()));
    EXPECT_TRUE(reports.empty());
}

TEST_F(PacingTest, AnEmptyStringNeitherWritesNorPauses) {
    int calls = 0;
    port.SetByteHook([&](std::size_t, Clock::time_point) { return ++calls, true; });

    EXPECT_EQ(port.SendText(""), 0u);
    EXPECT_EQ(calls, 0) << "the hook runs after every write, inside its pause";
    EXPECT_EQ(panel.ReadAll(), "");
    EXPECT_TRUE(reports.empty());
}

// True when another open of the device can take its lock, i.e. nobody holds it.
bool LockFree(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    return fd.valid() && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0;
}

TEST_F(PacingTest, RefusedSettingsKeepTheHandleAndTheNextReopenClosesItFirst) {
    ASSERT_TRUE(port.IsOpen());
    port.SetBaudRate(0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].step, LinkStep::WriteSettings);
    EXPECT_EQ(reports[0].errorNumber, static_cast<std::uint32_t>(EINVAL));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_FALSE(LockFree(panel.Path())) << "the open handle still holds the port";

    // Opening again while the old handle held its lock would fail as busy.
    port.SetBaudRate(38400);
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(ReadLine(panel.Slave()).outputSpeed, 38400u);
    EXPECT_EQ(port.SendText("ok"), 0u);
    EXPECT_EQ(panel.Read(2), "ok");
}

} // namespace
