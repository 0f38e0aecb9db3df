#pragma once

#include <LinkError.h>

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
