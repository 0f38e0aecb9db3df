#pragma once

#include <LinkError.h>

#include <vector>

// What one open of COM1 by a fresh link came to; the link is closed again on return.
struct OpenAttempt {
    bool open = false;
    std::vector<LinkError> reports;
};

[[nodiscard]] OpenAttempt TryOpenCom1();
