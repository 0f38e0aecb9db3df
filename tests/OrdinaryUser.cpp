#include "OrdinaryUser.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

bool RunAsOrdinaryUser(const std::function<void()>& body) {
    std::fflush(nullptr); // nothing buffered may come out twice
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 ||
                                 ::setresgid(kOrdinaryId, kOrdinaryId, kOrdinaryId) != 0 ||
                                 ::setresuid(kOrdinaryId, kOrdinaryId, kOrdinaryId) != 0)) {
            std::fprintf(stderr, "cannot drop to uid %u\n", kOrdinaryId);
            ::_exit(2);
        }
        body();
        std::fflush(nullptr);
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
