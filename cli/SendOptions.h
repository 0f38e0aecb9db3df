#pragma once

#include <PortNames.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// One item of the command line, as the bytes it puts on the line. An item that reads standard
// input gets its bytes once the input has been read, before the port opens.
struct SendItem {
    bool fromStandardInput = false;
    std::string bytes;
};

enum class SendAction { Send, List, Help, Version };

// The port to open: one of the four names, or a device given by its path, which the link opens
// in place of the one "COM1:" stands for.
struct PortChoice {
    const char* portName = kPortNames[0];
    std::string device;
};

struct SendOptions {
    SendAction action = SendAction::Send;
    PortChoice port;
    std::int32_t baud = 38400;
    std::vector<SendItem> items;
};

// What was wrong with the command line, one line without the program's name.
struct UsageError {
    std::string message;
};

// Reads the arguments after the program's name in GNU fashion: options and items mixed in any
// order, "--opt=value" or "--opt value", unambiguous abbreviations of long options, short
// options bundled ("-cl2=an"), "--" makes every later argument text, "-" is standard input.
// --help and --version act where they stand; everything else is checked in full, so that a
// wrong item anywhere stops the run before anything is sent.
[[nodiscard]] std::variant<SendOptions, UsageError>
ParseSendOptions(std::span<const std::string_view> args);

// The text --help prints.
[[nodiscard]] std::string HelpText();
