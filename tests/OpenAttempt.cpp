#include "OpenAttempt.h"

#include <ComPort.h>

OpenAttempt TryOpenCom1() {
    OpenAttempt attempt;
    const CComPort port([&](const LinkError& e) { attempt.reports.push_back(e); });
    attempt.open = port.IsOpen();
    return attempt;
}
