#include "WriteTrace.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

namespace {

const std::filesystem::path kTracing = "/sys/kernel/tracing";

// The start and the end of `write` and `writev`.
std::vector<std::filesystem::path> Events() {
    std::vector<std::filesystem::path> events;
    for (const char* side : {"enter", "exit"})
        for (const char* call : {"write", "writev"})
            events.push_back(std::filesystem::path("events/syscalls") /
                             (std::string("sys_") + side + "_" + call));
    return events;
}

bool Put(const std::filesystem::path& file, const std::string& text) {
    std::ofstream out(kTracing / file);
    out << text << std::flush;
    return out.good();
}

} // namespace

WriteTrace::WriteTrace(pid_t pid) {
    std::string threads;
    std::error_code error;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks, error))
        threads +=
            (threads.empty() ? "" : " || ") + ("common_pid == " + task.path().filename().string());
    m_on = !threads.empty() && Put("tracing_on", "0") && Put("trace_clock", "mono") &&
           Put("trace", "");
    for (const auto& event : Events())
        m_on = m_on && Put(event / "filter", threads) && Put(event / "enable", "1");
    m_on = m_on && Put("tracing_on", "1");
}

WriteTrace::~WriteTrace() {
    Put("tracing_on", "0");
    for (const auto& event : Events())
        (void)(Put(event / "enable", "0") && Put(event / "filter", "0"));
}

// Lines such as
//   ser2net-91  [000] .....  52.117630: sys_writev(fd: 7, vec: 7ffd8f1b2a40, vlen: 1)
//   ser2net-91  [000] .....  52.117688: sys_writev -> 0x1
// with the numbers in hexadecimal; a call's end follows its start in the same thread.
std::vector<WriteTrace::Write> WriteTrace::WritesTo(int fd) const {
    static const std::regex line(
        R"(-(\d+)\s+\[\d+\].*?\s(\d+)\.(\d{6}): sys_writev?(?:\(fd: (?:0x)?([0-9a-f]+)| -> (?:0x)?([0-9a-f]+)))");
    std::ifstream trace(kTracing / "trace");
    std::map<std::string, Write> begun; // by thread
    std::vector<Write> writes;
    for (std::string text; std::getline(trace, text);) {
        std::smatch m;
        if (!std::regex_search(text, m, line))
            continue;
        if (m[4].matched) {
            const std::chrono::microseconds at = std::chrono::seconds(std::stoll(m[2].str())) +
                                                 std::chrono::microseconds(std::stoll(m[3].str()));
            if (std::stoul(m[4].str(), nullptr, 16) == static_cast<unsigned long>(fd))
                begun[m[1].str()] = Write{at, 0};
            else
                begun.erase(m[1].str());
        } else if (const auto call = begun.find(m[1].str()); call != begun.end()) {
            call->second.result = static_cast<long>(std::stoull(m[5].str(), nullptr, 16));
            writes.push_back(call->second);
            begun.erase(call);
        }
    }
    return writes;
}
