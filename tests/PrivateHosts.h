#pragma once

#include <string>

// A test that needs a name with addresses of its own runs again, as a new process of the test
// program, in a mount namespace whose /etc/hosts is a file bound over the machine's: no other
// process sees the name. A new process rather than a fork, as the resolver's threads of a
// lookup made before do not survive a fork. Needs root, as the suite runs.
//
//     if (!InPrivateHosts()) {
//         EXPECT_TRUE(RerunWithHosts("::1 dual-stack.test\n"));
//         return;
//     }
//     … the test, with dual-stack.test resolving to ::1

// Whether this process is the rerun.
[[nodiscard]] bool InPrivateHosts();
// Runs the current test again with `hosts` as /etc/hosts; whether it passed. Its output goes
// where this process's goes.
[[nodiscard]] bool RerunWithHosts(const std::string& hosts);
