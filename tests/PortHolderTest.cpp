// What the link finds out about a port it cannot open: who holds it, which group may open it.
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
#include <vector>

namespace {

class PortHolderTest : public ::testing::Test {
protected:
    PtyPair panel;
    PortEnvironment ports{{panel.Path(), "", "", ""}};
    std::vector<LinkError> reports;
    ErrorReporter Recorder() {
        return [this](const LinkError& e) {
            reports.push_back(e);
        };
    }
};

std::string OwnCommandName() {
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

TEST_F(PortHolderTest, BusyPortNamesTheProcessHoldingItsLock) {
    EXPECT_FALSE(FindPortHolder(panel.Path()).has_value());
    CComPort first(Recorder());
    const auto holder = FindPortHolder(panel.Path());
    ASSERT_TRUE(holder.has_value());
    EXPECT_EQ(holder->pid, ::getpid());

    CComPort second(Recorder());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].errorNumber, static_cast<std::uint32_t>(EBUSY));
    EXPECT_EQ(reports[0].holderPid, ::getpid());
    EXPECT_EQ(reports[0].holderName, OwnCommandName());
    EXPECT_FALSE(OwnCommandName().empty());
    EXPECT_TRUE(reports[0].openingGroup.empty());
}

TEST_F(PortHolderTest, PortHeldOnlyByExclusiveUseHasNoKnownHolder) {
    ASSERT_EQ(::chmod(panel.Path().c_str(), 0666), 0);
    ASSERT_EQ(::ioctl(panel.Slave(), TIOCEXCL), 0); // exclusive, but no lock anywhere
    const auto scenario = [this] {
        CComPort port(Recorder());
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0].errorNumber, static_cast<std::uint32_t>(EBUSY));
        EXPECT_EQ(reports[0].holderPid, 0);
        EXPECT_TRUE(reports[0].holderName.empty());
    };
    EXPECT_TRUE(RunAsOrdinaryUser(scenario)) << "as uid " << kOrdinaryId;
}

TEST_F(PortHolderTest, RefusedPortNamesTheGroupWhoseMembersMayOpenIt) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to play a user that does not own the device";
    struct stat st {};
    ASSERT_EQ(::stat(panel.Path().c_str(), &st), 0);
    const group* owner = ::getgrgid(st.st_gid);
    ASSERT_NE(owner, nullptr);
    const std::string groupName = owner->gr_name;

    ASSERT_EQ(::chmod(panel.Path().c_str(), 0660), 0);
    EXPECT_EQ(OpeningGroup(panel.Path()), groupName);
    const auto refusedWithGroup = [this, &groupName] {
        CComPort port(Recorder());
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0].errorNumber, static_cast<std::uint32_t>(EACCES));
        EXPECT_EQ(reports[0].openingGroup, groupName);
        EXPECT_EQ(reports[0].holderPid, 0);
    };
    EXPECT_TRUE(RunAsOrdinaryUser(refusedWithGroup)) << "as uid " << kOrdinaryId;

    // Membership would not help when the group may not read and write.
    ASSERT_EQ(::chmod(panel.Path().c_str(), 0600), 0);
    const auto refused = [this] {
        CComPort port(Recorder());
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0].errorNumber, static_cast<std::uint32_t>(EACCES));
        EXPECT_TRUE(reports[0].openingGroup.empty());
    };
    EXPECT_TRUE(RunAsOrdinaryUser(refused)) << "as uid " << kOrdinaryId;
}

} // namespace
