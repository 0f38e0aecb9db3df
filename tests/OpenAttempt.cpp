#include "OpenAttempt.h"

#include <ComPort.h>

OpenAttempt TryOpenCom1() {
    OpenAttempt attempt;
    const CComPort port([&](const LinkError& e) { attempt.reports.push_back(e); });
    attempt.open = port.IsOpen();
    return attempt;
}

LinkError RefusedOpenOfCom1() {
    const OpenAttempt attempt = TryOpenCom1();
    EXPECT_FALSE(attempt.open);
    EXPECT_EQ(attempt.reports.size(), 1u);
    return attempt.reports.empty() ? LinkError{} : attempt.reports[0];
}

::testing::AssertionResult OneReport(const std::vector<LinkError>& reports, LinkStep step,
                                     int errorNumber) {
    if (reports.size() != 1)
        return ::testing::AssertionFailure() << reports.size() << " reports";
    if (reports[0].step != step)
        return ::testing::AssertionFailure() << "step " << static_cast<int>(reports[0].step);
    if (reports[0].errorNumber != static_cast<std::uint32_t>(errorNumber))
        return ::testing::AssertionFailure() << "error " << reports[0].errorNumber;
    return ::testing::AssertionSuccess();
}
