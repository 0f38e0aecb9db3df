#include "PanelLine.h"

#include "PanelFraming.h"
#include "StaleExclusivity.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace sim {
namespace {

std::string Describe(const std::string& what, int err) {
    return what + ": " + std::strerror(err) + " (" + std::to_string(err) + ")";
}

} // namespace

PanelLine PanelLine::Failed(std::string error) {
    PanelLine line;
    line.error_ = std::move(error);
    return line;
}

PanelLine PanelLine::OpenPseudoTerminal(unsigned baud) {
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!master.valid()) {
        return Failed(Describe("Kein Pseudo-Terminal verfügbar", errno));
    }
    char name[128];
    if (::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0 ||
        ::ptsname_r(master.get(), name, sizeof name) != 0) {
        return Failed(Describe("Pseudo-Terminal nicht freigegeben", errno));
    }
    UniqueFd toolSide(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!toolSide.valid()) {
        return Failed(Describe(std::string(name) + " lässt sich nicht öffnen", errno));
    }
    // Raw from the start, so that even a plain `printf > path` arrives byte for byte.
    if (const std::error_code ec = ApplyPanelFraming(toolSide.get(), baud)) {
        return Failed(Describe(std::string(name) + " lässt sich nicht einstellen", ec.value()));
    }
    PanelLine line;
    line.fd_ = std::move(master);
    line.toolSide_ = std::move(toolSide);
    line.path_ = name;
    line.baud_ = baud;
    return line;
}

PanelLine PanelLine::OpenDevice(const std::string& path, unsigned baud) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        return Failed(Describe(path + " lässt sich nicht öffnen", errno));
    }
    if (const std::error_code ec = ApplyPanelFraming(fd.get(), baud)) {
        return Failed(Describe(path + " lässt sich nicht einstellen", ec.value()));
    }
    PanelLine line;
    line.fd_ = std::move(fd);
    line.path_ = path;
    line.baud_ = baud;
    return line;
}

ReadResult PanelLine::Read(std::span<std::uint8_t> buffer) const {
    const ssize_t n = ::read(fd_.get(), buffer.data(), buffer.size());
    if (n > 0) {
        return {static_cast<std::size_t>(n), {}};
    }
    if (n == 0) {
        return {0, std::make_error_code(std::errc::io_error)}; // the device went away
    }
    if (errno == EAGAIN || errno == EINTR) {
        return {};
    }
    return {0, {errno, std::generic_category()}};
}

std::error_code PanelLine::Send(std::uint8_t byte) const {
    const ssize_t n = ::write(fd_.get(), &byte, 1);
    if (n == 1) {
        return {};
    }
    if (n == 0) {
        return std::make_error_code(std::errc::resource_unavailable_try_again);
    }
    return {errno, std::generic_category()};
}

bool PanelLine::ClearStaleExclusivity() const {
    return toolSide_.valid() && sim::ClearStaleExclusivity(toolSide_.get());
}

} // namespace sim
