// Exclusive use of a pseudo-terminal after a holder was killed, as an ordinary user, since the
// mark does not stop root: the tool leaves nothing behind whatever the far end, and the virtual
// panel clears a mark that another program left, and only such a one.
#include "OpenAttempt.h"
#include "OrdinaryUser.h"
#include "PtyPair.h"

#include <ComPort.h>
#include <PanelLine.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

// A copy of the tool that holds the line until it is killed.
void KillToolHoldingTheLine() {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t tool = ::fork();
    ASSERT_GE(tool, 0);
    if (tool == 0) {
        ::close(ready[0]);
        const CComPort port(nullptr);
        const char state = port.IsOpen() ? '1' : '0';
        (void)!::write(ready[1], &state, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char state = 0;
    EXPECT_EQ(::read(ready[0], &state, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(state, '1') << "the tool could not open the line";
    ::kill(tool, SIGKILL);
    int status = 0;
    ::waitpid(tool, &status, 0);
}

// Any far end, here a plain one that knows nothing of marks (a terminal emulator, socat).
TEST(StaleExclusivity, AKilledToolLeavesThePseudoTerminalFreeForTheNextCopy) {
    const auto scenario = [] {
        const PtyPair far;
        const PortEnvironment ports{{far.Path(), "", "", ""}};
        KillToolHoldingTheLine();
        const OpenAttempt next = TryOpenCom1();
        EXPECT_TRUE(next.open);
        EXPECT_TRUE(next.reports.empty());
    };
    EXPECT_TRUE(RunAsOrdinaryUser(scenario)) << "as uid " << kOrdinaryId;
}

TEST(StaleExclusivity, PanelLeavesALiveToolItsLockAndFreesAMarkWithoutOne) {
    const auto scenario = [] {
        const sim::PanelLine line = sim::PanelLine::OpenPseudoTerminal(38400);
        ASSERT_TRUE(line.IsOpen()) << line.Error();
        const PortEnvironment ports{{line.Path(), "", "", ""}};
        // Another program marks the line and dies.
        const auto markAndLeave = [&] {
            const UniqueFd other(::open(line.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
            ASSERT_EQ(::ioctl(other.get(), TIOCEXCL), 0);
        };
        EXPECT_FALSE(line.ClearStaleExclusivity()) << "nothing to clear on a fresh line";
        {
            const CComPort holder(nullptr);
            ASSERT_TRUE(holder.IsOpen());
            markAndLeave();
            EXPECT_FALSE(line.ClearStaleExclusivity()) << "the holder is alive";
            const LinkError second = RefusedOpenOfCom1();
            EXPECT_EQ(second.errorNumber, static_cast<std::uint32_t>(EBUSY));
            EXPECT_EQ(second.holderPid, ::getpid());
        }
        // The tool's close cleared the mark; another program's comes back.
        markAndLeave();
        const LinkError marked = RefusedOpenOfCom1();
        EXPECT_EQ(marked.errorNumber, static_cast<std::uint32_t>(EBUSY));
        EXPECT_EQ(marked.holderPid, 0) << "nobody holds a lock";

        EXPECT_TRUE(line.ClearStaleExclusivity());
        const OpenAttempt freed = TryOpenCom1();
        EXPECT_TRUE(freed.open);
        EXPECT_TRUE(freed.reports.empty());
    };
    EXPECT_TRUE(RunAsOrdinaryUser(scenario)) << "as uid " << kOrdinaryId;
}

} // namespace
