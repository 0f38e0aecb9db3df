// kelmora-send: the panel's text and commands from the command line, through the same link and
// panel libraries as the window.
#include <SendOptions.h>
#include <SendRun.h>
#include <StopSignals.h>

#include <sysexits.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <string_view>
#include <vector>

// An exception that leaves main ends the run through std::terminate, which names it.
int main(int argc, char** argv) { // NOLINT(bugprone-exception-escape)
    // strerror in the operator's language, as the window shows it.
    std::setlocale(LC_ALL, "");
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    auto parsed = ParseSendOptions(args);
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        std::fprintf(stderr,
                     "kelmora-send: %s\n„kelmora-send --help“ gibt weitere Informationen.\n",
                     error->message.c_str());
        return EX_USAGE;
    }
    SendOptions& options = std::get<SendOptions>(parsed);
    switch (options.action) {
    case SendAction::Help:
        std::fputs(HelpText().c_str(), stdout);
        return EX_OK;
    case SendAction::Version:
        std::puts("kelmora-send " PROJECT_VERSION);
        return EX_OK;
    case SendAction::List:
        std::fputs(PortList().c_str(), stdout);
        return EX_OK;
    case SendAction::Send:
        break;
    }

    const CStopSignals stop;
    if (const int status = ReadStandardInput(options.items, STDIN_FILENO, stop))
        return status;
    return RunSend(options, stop);
}
