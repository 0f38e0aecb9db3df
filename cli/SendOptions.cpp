#include "SendOptions.h"

#include "Utf8.h"

#include <LinkErrorText.h>
#include <PanelCommands.h>
#include <PortName.h>
#include <Transcript.h>

#include <getopt.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <vector>

namespace {

// The values getopt_long returns for the long options without a short one.
enum : int { kList = 256, kHelp, kVersion };

constexpr std::array<option, 8> kLongOptions = {{
    {"port", required_argument, nullptr, 'p'},
    {"baud", required_argument, nullptr, 'b'},
    {"clear", no_argument, nullptr, 'c'},
    {"led", required_argument, nullptr, 'l'},
    {"list", no_argument, nullptr, kList},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
}};
// "-": every argument that is no option comes back as such, in its place among the options;
// ":": a missing argument is told apart from an unknown option.
constexpr char kShortOptions[] = "-:p:b:cl:";

// The speeds the window offers.
constexpr std::array<std::string_view, 5> kBaudRates = {"2400", "9600", "14400", "19200", "38400"};

std::string Quoted(std::string_view text) {
    return "„" + std::string(text) + "“";
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(
        a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

std::optional<PortChoice> ParsePort(std::string_view value) {
    if (value.empty())
        return std::nullopt;
    std::string upper(value);
    std::ranges::transform(upper, upper.begin(), [](unsigned char c) { return std::toupper(c); });
    if (const auto index = PortIndex(upper))
        return PortChoice{kPortNames.at(*index), {}};
    if (IsRemoteName(value) && !ParseRemoteAddress(value))
        return std::nullopt;
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

SendItem TextItem(std::string_view text) {
    return {false, ToTranscriptBytes(DecodeUtf8(text))};
}

// "--baud" for 'b', "--list" for kList.
std::string OptionName(int value) {
    const auto known = std::ranges::find(kLongOptions, value, &option::val);
    return known != kLongOptions.end() && known->name
               ? "--" + std::string(known->name)
               : "-" + std::string(1, static_cast<char>(value));
}

// What getopt_long found wrong: `code` is its '?' or ':', `argument` the argument it was at.
UsageError OptionError(int code, std::string_view argument) {
    if (code == ':')
        return {"Option " + Quoted(OptionName(optopt)) + " erfordert ein Argument"};
    if (optopt == 0) // a long option it could not pin down
        return {"unbekannte oder mehrdeutige Option " +
                Quoted(argument.substr(0, argument.find('=')))};
    if (argument.starts_with("--"))
        return {"Option " + Quoted(OptionName(optopt)) + " erlaubt kein Argument"};
    return {"ungültige Option -- " + Quoted(std::string(1, static_cast<char>(optopt)))};
}

// Applies one option; returns the error, if its value is wrong.
std::optional<UsageError> Apply(SendOptions& options, int code, std::string_view value) {
    switch (code) {
    case 'p':
        // Nothing is sent for a secured port's name whose options are wrong: the call is.
        if (const auto address = ParseRemoteAddress(value); address && address->secure)
            if (auto reason = TlsOptionsReason(address->options); !reason.empty())
                return UsageError{"ungültiger Port " + Quoted(value) + ": " + reason};
        if (const auto port = ParsePort(value)) {
            options.port = *port;
            return std::nullopt;
        }
        return UsageError{"ungültiger Port " + Quoted(value) +
                          " (COM1 … COM4, ein Gerätepfad, rfc2217://RECHNER:PORT oder "
                          "rfc2217+tls://RECHNER:PORT?ca=…)"};
    case 'b':
        if (std::ranges::find(kBaudRates, value) != kBaudRates.end()) {
            options.baud = std::stoi(std::string(value));
            return std::nullopt;
        }
        return UsageError{"ungültige Geschwindigkeit " + Quoted(value) +
                          " (2400, 9600, 14400, 19200 oder 38400)"};
    case 'c':
        options.items.push_back({false, ClearCommand()});
        return std::nullopt;
    case 'l':
        if (auto command = ParseLed(value)) {
            options.items.push_back({false, std::move(*command)});
            return std::nullopt;
        }
        return UsageError{"ungültige LED-Angabe " + Quoted(value) +
                          " (N=an|aus|blink mit N = 1, 2 oder 3)"};
    case kList:
        options.action = SendAction::List;
        return std::nullopt;
    case 1: // an item in its place
        options.items.push_back(value == "-" ? SendItem{true, {}} : TextItem(value));
        return std::nullopt;
    default:
        break;
    }
    return std::nullopt;
}

} // namespace

std::variant<SendOptions, UsageError> ParseSendOptions(std::span<const std::string_view> args) {
    // getopt_long wants the C form: a program name first, each argument NUL-terminated.
    std::vector<std::string> texts{"kelmora-send"};
    texts.insert(texts.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(texts.size() + 1);
    for (std::string& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(texts.size());

    SendOptions options;
    optind = 0; // start afresh: getopt_long keeps its place between calls
    opterr = 0; // its own messages are English; the usage error below words them
    for (;;) {
        const int at = optind == 0 ? 1 : optind;
        const int code =
            ::getopt_long(argc, argv.data(), kShortOptions, kLongOptions.data(), nullptr);
        if (code == -1)
            break;
        if (code == kHelp || code == kVersion) {
            options.action = code == kHelp ? SendAction::Help : SendAction::Version;
            return options;
        }
        if (code == '?' || code == ':')
            return OptionError(code, at < argc ? texts[static_cast<std::size_t>(at)] : "");
        if (auto error = Apply(options, code, optarg ? optarg : ""))
            return *error;
    }
    // After "--" every argument is text.
    for (int i = optind; i < argc; ++i)
        options.items.push_back(TextItem(texts[static_cast<std::size_t>(i)]));

    if (options.action == SendAction::List && !options.items.empty())
        return UsageError{"--list sendet nichts; Elemente sind dazu nicht erlaubt"};
    if (options.action == SendAction::Send && options.items.empty())
        return UsageError{"nichts zu senden: Text, „-“, --clear oder --led angeben"};
    return options;
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
  -p, --port=PORT      COM1, COM2, COM3 oder COM4 (Vorgabe: COM1), ein
                         Gerätepfad wie /dev/ttyUSB0 oder ein Port auf einem
                         anderen Rechner (ser2net, RFC 2217) wie
                         rfc2217://rack-3:7000 oder rfc2217://[::1]:7000;
                         in TLS: rfc2217+tls://rack-3:7011?ca=DATEI, mit
                         Client-Zertifikat &cert=DATEI&key=DATEI
  -b, --baud=BAUD      2400, 9600, 14400, 19200 oder 38400 (Vorgabe: 38400)
      --list           für COM1 … COM4 je eine Zeile „COMn GERÄT [KENNUNG]“
                         ausgeben, „COMn -“, wenn der Name für kein Gerät
                         steht, und beenden
      --help           diese Hilfe anzeigen und beenden
      --version        Versionsinformation anzeigen und beenden

Nach „--“ ist jedes Argument TEXT, auch wenn es mit „-“ beginnt.

COMn steht für das Gerät oder den rfc2217://-Port in $KELMORA_COMn, wenn gesetzt,
sonst für das n-te serielle Gerät (ttyUSB*, ttyACM*, dann ttyS* mit UART; nie die
Systemkonsole).

Fehler des Ports zeigt die Standardfehlerausgabe wie das Fenster: eine Zeile
„Fehlernummer: N !“ (N ist die errno) und eine Zeile mit Port, Gerät und Grund.
Auf einem Terminal zeigt sie bei langen Sendungen eine Fortschrittszeile
(Zeichen gesendet, Gesamtzahl, Restzeit), die am Ende verschwindet.
Strg+C (SIGINT), SIGTERM oder SIGHUP (Terminal geschlossen) hält nach dem Byte
auf der Leitung an und schließt den Port ordentlich.

Exit-Status:
  0    alles gesendet
  64   falscher Aufruf (EX_USAGE); nichts gesendet
  69   Port nicht zu öffnen oder einzustellen (EX_UNAVAILABLE); nichts gesendet
  74   Senden fehlgeschlagen oder Standardeingabe nicht lesbar (EX_IOERR);
         der Rest ist nicht gesendet
  129  durch SIGHUP abgebrochen
  130  durch SIGINT abgebrochen
  143  durch SIGTERM abgebrochen

Beispiele:
  kelmora-send --clear "Hallo Panel" --led 2=blink
  kelmora-send --port /dev/ttyUSB0 --baud 9600 --clear - < text.txt
)";
}
