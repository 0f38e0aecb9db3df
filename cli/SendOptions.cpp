#include "SendOptions.h"

#include "Utf8.h"

#include <PanelCommands.h>
#include <Transcript.h>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace {

enum class Option { Port, Baud, Clear, Led, List, Help, Version };

struct OptionSpec {
    std::string_view longName;
    char shortName; // 0 for none
    bool takesArgument;
    Option option;
};

constexpr std::array<OptionSpec, 7> kOptions = {{
    {"port", 'p', true, Option::Port},
    {"baud", 'b', true, Option::Baud},
    {"clear", 'c', false, Option::Clear},
    {"led", 'l', true, Option::Led},
    {"list", 0, false, Option::List},
    {"help", 0, false, Option::Help},
    {"version", 0, false, Option::Version},
}};

// The speeds the window offers.
constexpr std::array<std::string_view, 5> kBaudRates = {"2400", "9600", "14400", "19200", "38400"};

std::string Quoted(std::string_view text) {
    return "„" + std::string(text) + "“";
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, {}, Lower, Lower);
}

std::optional<PortChoice> ParsePort(std::string_view value) {
    if (value.empty())
        return std::nullopt;
    std::string_view name = value;
    if (name.ends_with(':'))
        name.remove_suffix(1);
    for (const char* portName : kPortNames) {
        if (EqualsIgnoringCase(name, std::string_view(portName).substr(0, 4)))
            return PortChoice{portName, {}};
    }
    return PortChoice{kPortNames[0], std::string(value)};
}

std::optional<LedMode> ParseLedMode(std::string_view mode) {
    for (const auto& [name, value] : std::array<std::pair<std::string_view, LedMode>, 5>{{
             {"an", LedMode::On},
             {"aus", LedMode::Off},
             {"blink", LedMode::Blink},
             {"on", LedMode::On},
             {"off", LedMode::Off},
         }}) {
        if (EqualsIgnoringCase(mode, name))
            return value;
    }
    return std::nullopt;
}

// "2=blink" → "~L12".
std::optional<std::string> ParseLed(std::string_view value) {
    if (value.size() < 3 || value[0] < '1' || value[0] > '3' || value[1] != '=')
        return std::nullopt;
    const auto mode = ParseLedMode(value.substr(2));
    if (!mode)
        return std::nullopt;
    return LedCommand(value[0] - '1', *mode);
}

class CParser {
public:
    std::variant<SendOptions, UsageError> Run(std::span<const std::string_view> args);

private:
    std::optional<UsageError> ParseLong(std::string_view arg,
                                        std::span<const std::string_view>& rest);
    std::optional<UsageError> ParseShort(std::string_view cluster,
                                         std::span<const std::string_view>& rest);
    std::optional<UsageError> Apply(Option option, std::string_view value);
    void AddText(std::string_view text) {
        m_options.items.push_back({false, ToTranscriptBytes(DecodeUtf8(text))});
    }

    SendOptions m_options;
    bool m_bDone = false; // --help or --version met
};

std::variant<SendOptions, UsageError> CParser::Run(std::span<const std::string_view> args) {
    bool onlyText = false;
    while (!args.empty() && !m_bDone) {
        const std::string_view arg = args.front();
        args = args.subspan(1);
        std::optional<UsageError> error;
        if (onlyText || arg.size() < 2 || arg[0] != '-') {
            if (!onlyText && arg == "-")
                m_options.items.push_back({true, {}});
            else
                AddText(arg);
        } else if (arg == "--") {
            onlyText = true;
        } else if (arg.starts_with("--")) {
            error = ParseLong(arg.substr(2), args);
        } else {
            error = ParseShort(arg.substr(1), args);
        }
        if (error)
            return *error;
    }
    if (m_bDone)
        return m_options;
    if (m_options.action == SendAction::List && !m_options.items.empty())
        return UsageError{"--list sendet nichts; Elemente sind dazu nicht erlaubt"};
    if (m_options.action == SendAction::Send && m_options.items.empty())
        return UsageError{"nichts zu senden: Text, „-“, --clear oder --led angeben"};
    return m_options;
}

std::optional<UsageError> CParser::ParseLong(std::string_view arg,
                                             std::span<const std::string_view>& rest) {
    const std::size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    std::vector<const OptionSpec*> matches;
    for (const OptionSpec& option : kOptions) {
        if (option.longName == name) {
            matches = {&option};
            break;
        }
        if (option.longName.starts_with(name))
            matches.push_back(&option);
    }
    if (matches.empty())
        return UsageError{"unbekannte Option " + Quoted("--" + std::string(name))};
    if (matches.size() > 1) {
        std::string candidates;
        for (const OptionSpec* option : matches)
            candidates += " " + Quoted("--" + std::string(option->longName));
        return UsageError{"Option " + Quoted("--" + std::string(name)) +
                          " ist mehrdeutig; Möglichkeiten:" + candidates};
    }
    const OptionSpec* spec = matches.front();
    const std::string shown = "--" + std::string(spec->longName);
    if (equals != std::string_view::npos) {
        if (!spec->takesArgument)
            return UsageError{"Option " + Quoted(shown) + " erlaubt kein Argument"};
        return Apply(spec->option, arg.substr(equals + 1));
    }
    if (!spec->takesArgument)
        return Apply(spec->option, {});
    if (rest.empty())
        return UsageError{"Option " + Quoted(shown) + " erfordert ein Argument"};
    const std::string_view value = rest.front();
    rest = rest.subspan(1);
    return Apply(spec->option, value);
}

std::optional<UsageError> CParser::ParseShort(std::string_view cluster,
                                              std::span<const std::string_view>& rest) {
    for (std::size_t i = 0; i < cluster.size(); ++i) {
        const auto spec = std::ranges::find(kOptions, cluster[i], &OptionSpec::shortName);
        if (cluster[i] == 0 || spec == kOptions.end())
            return UsageError{"ungültige Option -- " + Quoted(cluster.substr(i, 1))};
        if (!spec->takesArgument) {
            if (auto error = Apply(spec->option, {}))
                return error;
            continue;
        }
        if (i + 1 < cluster.size())
            return Apply(spec->option, cluster.substr(i + 1));
        if (rest.empty())
            return UsageError{"Option erfordert ein Argument -- " + Quoted(cluster.substr(i, 1))};
        const std::string_view value = rest.front();
        rest = rest.subspan(1);
        return Apply(spec->option, value);
    }
    return std::nullopt;
}

std::optional<UsageError> CParser::Apply(Option option, std::string_view value) {
    switch (option) {
    case Option::Port:
        if (const auto port = ParsePort(value)) {
            m_options.port = *port;
            return std::nullopt;
        }
        return UsageError{"ungültiger Port " + Quoted(value) +
                          " (COM1 … COM4 oder ein Gerätepfad)"};
    case Option::Baud:
        if (std::ranges::find(kBaudRates, value) != kBaudRates.end()) {
            m_options.baud = std::stoi(std::string(value));
            return std::nullopt;
        }
        return UsageError{"ungültige Geschwindigkeit " + Quoted(value) +
                          " (2400, 9600, 14400, 19200 oder 38400)"};
    case Option::Clear:
        m_options.items.push_back({false, ClearCommand()});
        return std::nullopt;
    case Option::Led:
        if (auto command = ParseLed(value)) {
            m_options.items.push_back({false, std::move(*command)});
            return std::nullopt;
        }
        return UsageError{"ungültige LED-Angabe " + Quoted(value) +
                          " (N=an|aus|blink mit N = 1, 2 oder 3)"};
    case Option::List:
        m_options.action = SendAction::List;
        return std::nullopt;
    case Option::Help:
    case Option::Version:
        m_options.action = option == Option::Help ? SendAction::Help : SendAction::Version;
        m_bDone = true;
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::variant<SendOptions, UsageError> ParseSendOptions(std::span<const std::string_view> args) {
    return CParser().Run(args);
}

std::string HelpText() {
    return R"(Aufruf: kelmora-send [OPTION]... ELEMENT...
  oder: kelmora-send --list
Sendet Text und Befehle an die Kelmora-Anzeige, die ELEMENTe in der angegebenen
Reihenfolge, über dieselbe Verbindung wie das Fenster von kelmora-test: 8N1 mit
CTS- und XON/XOFF-Flusssteuerung, ein Byte nach dem anderen mit 3 ms Pause.
Der Port wird einmal geöffnet; beim ersten Fehler endet der Lauf.

Elemente:
  TEXT                 den Text senden, wie im Fenster getippt: Zeilenumbrüche
                         als CR LF, jedes Zeichen als ein Windows-1252-Byte,
                         „?“ für ein Zeichen ohne solches Byte. TEXT ist UTF-8;
                         jedes Byte, das kein gültiges UTF-8 ist, wird ein „?“
  -                    die Standardeingabe bis zu ihrem Ende als TEXT senden
                         (sie wird gelesen, bevor der Port öffnet)
  -c, --clear          die Anzeige löschen („~C“)
  -l, --led=N=MODUS    LED N (1, 2 oder 3) schalten; MODUS ist an, aus oder
                         blink (auch on, off)

Optionen:
  -p, --port=PORT      COM1, COM2, COM3 oder COM4 (Vorgabe: COM1), oder ein
                         Gerätepfad wie /dev/ttyUSB0
  -b, --baud=BAUD      2400, 9600, 14400, 19200 oder 38400 (Vorgabe: 38400)
      --list           für COM1 … COM4 je eine Zeile „COMn GERÄT“ ausgeben,
                         „COMn -“, wenn der Name für kein Gerät steht, und
                         beenden
      --help           diese Hilfe anzeigen und beenden
      --version        Versionsinformation anzeigen und beenden

Nach „--“ ist jedes Argument TEXT, auch wenn es mit „-“ beginnt.

COMn steht für das Gerät in $KELMORA_COMn, wenn gesetzt, sonst für das n-te
serielle Gerät (ttyUSB*, ttyACM*, dann ttyS* mit UART; nie die Systemkonsole).

Fehler des Ports zeigt die Standardfehlerausgabe wie das Fenster: eine Zeile
„Fehlernummer: N !“ (N ist die errno) und eine Zeile mit Port, Gerät und Grund.
Auf einem Terminal zeigt sie bei langen Sendungen eine Fortschrittszeile
(Zeichen gesendet, Gesamtzahl, Restzeit), die am Ende verschwindet.
Strg+C (SIGINT) oder SIGTERM hält nach dem Byte auf der Leitung an und schließt
den Port ordentlich.

Exit-Status:
  0    alles gesendet
  64   falscher Aufruf (EX_USAGE); nichts gesendet
  69   Port nicht zu öffnen oder einzustellen (EX_UNAVAILABLE); nichts gesendet
  74   Senden fehlgeschlagen oder Standardeingabe nicht lesbar (EX_IOERR);
         der Rest ist nicht gesendet
  130  durch SIGINT abgebrochen
  143  durch SIGTERM abgebrochen

Beispiele:
  kelmora-send --clear "Hallo Panel" --led 2=blink
  kelmora-send --port /dev/ttyUSB0 --baud 9600 --clear - < text.txt
)";
}
