#pragma once

#include "LineReadback.h"
#include "OpenAttempt.h"

#include <ComPort.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

// What run-guest wired where, from the KELMORA_RIG_* variables it sets inside the test machine;
// empty outside it.
[[nodiscard]] std::string Rig(const char* name);

// XON and XOFF reach the link's tty through its receive interrupt and the line discipline's
// worker; give both time to act, on a loaded machine too.
void LetTheLinkSeeIt();

// What the tty is set to, read through a descriptor of its own (TCGETS2: 14400 included).
[[nodiscard]] LineReadback ReadDeviceLine(const std::string& device);

// What `run` wrote to standard error.
[[nodiscard]] std::string StandardErrorOf(const std::function<void()>& run);

// ser2net in the guest, on the ports run-guest gave it: stopped as a crash stops it (its ports
// are closed on return), and started again (it listens on return). False when that failed.
[[nodiscard]] bool StopSer2net();
[[nodiscard]] bool StartSer2net();

class RigTest : public ::testing::Test, protected ReportLog {
protected:
    // Reopens at the given speed. A close that waited for queued bytes would take the
    // driver's closing time, 30 s; the link's own bound for a stalled queue is far below it.
    void QuickReopen(CComPort& port, int speed) {
        const auto start = CComPort::Clock::now();
        port.SetBaudRate(speed);
        EXPECT_LT(CComPort::Clock::now() - start, 10 * CComPort::kStallBound) << speed;
    }
    void SetUp() override {
        if (Rig("KELMORA_RIG_UART").empty())
            GTEST_SKIP() << "runs only inside the test machine booted by tests/guest/run-guest";
    }
};
