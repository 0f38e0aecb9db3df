#include "GuestRig.h"

#include <UniqueFd.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace std::chrono_literals;

std::string Rig(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

void LetTheLinkSeeIt() {
    std::this_thread::sleep_for(300ms);
}

LineReadback ReadDeviceLine(const std::string& device) {
    const UniqueFd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    return ReadLine(fd.get());
}

std::string StandardErrorOf(const std::function<void()>& run) {
    std::FILE* file = std::tmpfile();
    if (!file) {
        ADD_FAILURE() << "no temporary file for standard error";
        return {};
    }
    const int saved = ::dup(STDERR_FILENO);
    std::fflush(stderr);
    ::dup2(::fileno(file), STDERR_FILENO);
    run();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    EXPECT_EQ(std::fseek(file, 0, SEEK_SET), 0);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;)
        text.push_back(static_cast<char>(c));
    EXPECT_EQ(std::fclose(file), 0);
    return text;
}

// The guest's own scripts, which run-guest writes with the ports it configured.
// NOLINTBEGIN(cert-env33-c): fixed command lines in the guest
bool StopSer2net() {
    return std::system("ser2net-stop") == 0;
}

bool StartSer2net() {
    return std::system("ser2net-start") == 0;
}
// NOLINTEND(cert-env33-c)
