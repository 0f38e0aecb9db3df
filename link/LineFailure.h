#pragma once

#include "LinkError.h"

#include <string>

// A failed step of a line, local or remote, as the line found it; CComPort adds the port's name
// and device and reports it.
struct LineFailure {
    LinkStep step;
    int errorNumber;
    LinkSetting setting = LinkSetting::None;
    LinkTls tls = LinkTls::None;
    std::string remoteWords{}; // see LinkError::remoteWords
};
