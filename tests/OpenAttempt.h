#pragma once

#include <LinkError.h>

#include <gtest/gtest.h>

#include <vector>

// Every report of a link, kept in order instead of shown.
struct ReportLog {
    std::vector<LinkError> reports;
    [[nodiscard]] ErrorReporter Recorder() {
        return [this](const LinkError& e) {
            reports.push_back(e);
        };
    }
};

// What one open of COM1 by a fresh link came to; the link is closed again on return.
struct OpenAttempt {
    bool open = false;
    std::vector<LinkError> reports;
};

[[nodiscard]] OpenAttempt TryOpenCom1();
// The single report of a failed open of COM1; a test failure when it opened or said more.
[[nodiscard]] LinkError RefusedOpenOfCom1();

// Whether `reports` holds exactly one report, of `step` failing with `errorNumber`.
[[nodiscard]] ::testing::AssertionResult OneReport(const std::vector<LinkError>& reports,
                                                   LinkStep step, int errorNumber);
