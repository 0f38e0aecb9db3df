#pragma once

#include "Line.h"
#include "UniqueFd.h"

#include <memory>
#include <string>

// A serial device of this machine (a UART, a USB adapter, a pseudo-terminal), opened for
// exclusive use, non-blocking, through the tty layer.
class CTtyLine final : public CLine {
public:
    // How long closing lets queued output stand still before it discards it.
    static constexpr std::chrono::milliseconds kStallBound{250};

    // Opens `device` for exclusive use; on failure sets `errorNumber` and returns none. `onUsb`:
    // the device's driver ignores the tty layer's XOFF, so the link watches for it itself.
    [[nodiscard]] static std::unique_ptr<CTtyLine> Open(const std::string& device, bool onUsb,
                                                        int& errorNumber);
    // Lets queued output drain while it moves, then gives up exclusive use and closes.
    ~CTtyLine() override;

    [[nodiscard]] std::optional<LineFailure> Configure(int nBaudRate,
                                                       const WaitHook& onWait) override;
    [[nodiscard]] int Fd() const override { return m_fd.get(); }
    [[nodiscard]] int Write(char c) override;
    [[nodiscard]] bool FlowByLink() const override { return m_flow == OutputFlow::ByLink; }
    [[nodiscard]] int Read(std::string& data) override;
    [[nodiscard]] int Queued() const override;
    [[nodiscard]] LinkHold Hold() const override;
    void DropHeldOutput() override;
    [[nodiscard]] bool Gone(int errorNumber) const override;
    [[nodiscard]] bool HungUp() const override;

private:
    CTtyLine(UniqueFd fd, OutputFlow flow)
        : m_fd(std::move(fd))
        , m_flow(flow) {}

    UniqueFd m_fd;
    OutputFlow m_flow;
};
