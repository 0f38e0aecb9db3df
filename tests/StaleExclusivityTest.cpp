// A tool killed while it holds the virtual panel's pseudo-terminal leaves the tty marked for
// exclusive use; the panel clears that mark, and only that one. Run as an ordinary user, since
// the mark does not stop root.
#include "OpenAttempt.h"
#include "OrdinaryUser.h"
#include "PtyPair.h"

#include <ComPort.h>
#include <PanelLine.h>

#include <gtest/gtest.h>

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

TEST(StaleExclusivity, PanelLeavesALiveToolItsExclusiveUseAndFreesAKilledOnesForTheNextCopy) {
    const auto scenario = [] {
        const sim::PanelLine line = sim::PanelLine::OpenPseudoTerminal(38400);
        ASSERT_TRUE(line.IsOpen()) << line.Error();
        const PortEnvironment ports{{line.Path(), "", "", ""}};
        EXPECT_FALSE(line.ClearStaleExclusivity()) << "nothing to clear on a fresh line";
        {
            const CComPort holder(nullptr);
            ASSERT_TRUE(holder.IsOpen());
            EXPECT_FALSE(line.ClearStaleExclusivity()) << "the holder is alive";
            const LinkError second = RefusedOpenOfCom1();
            EXPECT_EQ(second.errorNumber, static_cast<std::uint32_t>(EBUSY));
            EXPECT_EQ(second.holderPid, ::getpid());
        }

        KillToolHoldingTheLine();
        const LinkError locked = RefusedOpenOfCom1();
        EXPECT_EQ(locked.errorNumber, static_cast<std::uint32_t>(EBUSY));
        EXPECT_EQ(locked.holderPid, 0) << "nobody holds the lock any more";

        EXPECT_TRUE(line.ClearStaleExclusivity());
        const OpenAttempt freed = TryOpenCom1();
        EXPECT_TRUE(freed.open);
        EXPECT_TRUE(freed.reports.empty());
        EXPECT_FALSE(line.ClearStaleExclusivity()) << "the tool cleared its own mark on close";
    };
    EXPECT_TRUE(RunAsOrdinaryUser(scenario)) << "as uid " << kOrdinaryId;
}

} // namespace
