// What the link finds out about a port it cannot open: who holds it, which group may open it.
#include "OpenAttempt.h"
#include "OrdinaryUser.h"
#include "PtyPair.h"

#include <ComPort.h>
#include <PortHolder.h>

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

namespace {

std::string OwnCommandName() {
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

TEST(PortHolder, BusyPortNamesTheProcessHoldingItsLock) {
    const PtyPair panel;
    const PortEnvironment ports{{panel.Path(), "", "", ""}};
    EXPECT_FALSE(FindPortHolder(panel.Path()).has_value());
    const CComPort first(nullptr);
    const auto holder = FindPortHolder(panel.Path());
    ASSERT_TRUE(holder.has_value());
    if (holder) { // for the analyzer, which does not see that ASSERT_TRUE returns
        EXPECT_EQ(holder->pid, ::getpid());
    }

    const LinkError busy = RefusedOpenOfCom1();
    EXPECT_EQ(busy.step, LinkStep::Open);
    EXPECT_EQ(busy.errorNumber, static_cast<std::uint32_t>(EBUSY));
    EXPECT_EQ(busy.holderPid, ::getpid());
    EXPECT_FALSE(OwnCommandName().empty());
    EXPECT_EQ(busy.holderName, OwnCommandName());
    EXPECT_TRUE(busy.openingGroup.empty());
}

TEST(PortHolder, PortHeldOnlyByExclusiveUseHasNoKnownHolder) {
    const PtyPair panel;
    const PortEnvironment ports{{panel.Path(), "", "", ""}};
    ASSERT_EQ(::chmod(panel.Path().c_str(), 0666), 0);
    ASSERT_EQ(::ioctl(panel.Slave(), TIOCEXCL), 0); // exclusive, but no lock anywhere
    const auto busy = [] {
        const LinkError error = RefusedOpenOfCom1();
        EXPECT_EQ(error.errorNumber, static_cast<std::uint32_t>(EBUSY));
        EXPECT_EQ(error.holderPid, 0);
        EXPECT_TRUE(error.holderName.empty());
    };
    EXPECT_TRUE(RunAsOrdinaryUser(busy)) << "as uid " << kOrdinaryId;
}

TEST(PortHolder, RefusedPortNamesTheGroupWhoseMembersMayOpenIt) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to play a user that does not own the device";
    const PtyPair panel;
    const PortEnvironment ports{{panel.Path(), "", "", ""}};
    struct stat st {};
    ASSERT_EQ(::stat(panel.Path().c_str(), &st), 0);
    const group* owner = ::getgrgid(st.st_gid);
    ASSERT_NE(owner, nullptr);
    const std::string groupName = owner->gr_name;

    ASSERT_EQ(::chmod(panel.Path().c_str(), 0660), 0);
    EXPECT_EQ(OpeningGroup(panel.Path()), groupName);
    const auto refusedWithGroup = [&groupName] {
        const LinkError error = RefusedOpenOfCom1();
        EXPECT_EQ(error.errorNumber, static_cast<std::uint32_t>(EACCES));
        EXPECT_EQ(error.openingGroup, groupName);
        EXPECT_EQ(error.holderPid, 0);
    };
    EXPECT_TRUE(RunAsOrdinaryUser(refusedWithGroup)) << "as uid " << kOrdinaryId;

    // Membership would not help when the group may not read and write.
    ASSERT_EQ(::chmod(panel.Path().c_str(), 0600), 0);
    const auto refused = [] {
        const LinkError error = RefusedOpenOfCom1();
        EXPECT_EQ(error.errorNumber, static_cast<std::uint32_t>(EACCES));
        EXPECT_TRUE(error.openingGroup.empty());
    };
    EXPECT_TRUE(RunAsOrdinaryUser(refused)) << "as uid " << kOrdinaryId;
}

} // namespace
