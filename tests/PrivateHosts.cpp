#include "PrivateHosts.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char* kMark = "KELMORA_PRIVATE_HOSTS";

// Binds a file holding `hosts` over /etc/hosts in a mount namespace of the calling process's
// own; whether it did.
bool BindHosts(const std::string& hosts) {
    char path[] = "/tmp/kelmora-hosts-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0)
        return false;
    const bool written =
        ::write(fd, hosts.data(), hosts.size()) == static_cast<ssize_t>(hosts.size());
    ::fchmod(fd, 0644);
    ::close(fd);
    const bool bound = written && ::unshare(CLONE_NEWNS) == 0 &&
                       ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                       ::mount(path, "/etc/hosts", nullptr, MS_BIND, nullptr) == 0;
    ::unlink(path); // the mount holds the file
    return bound;
}

} // namespace

bool InPrivateHosts() {
    return std::getenv(kMark) != nullptr;
}

bool RerunWithHosts(const std::string& hosts) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter =
        std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    std::fflush(nullptr); // nothing buffered may come out twice
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        if (!BindHosts(hosts)) {
            std::perror("cannot bind a private /etc/hosts");
            ::_exit(2);
        }
        ::setenv(kMark, "1", 1);
        ::execl("/proc/self/exe", "rerun", filter.c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
