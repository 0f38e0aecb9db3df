#include "PanelOptions.h"

#include <QCommandLineParser>

#include <optional>

namespace sim {
namespace {

// A whole number in [low, high], or nothing.
std::optional<long long> NumberIn(const QString& text, long long low, long long high) {
    bool ok = false;
    const long long value = text.toLongLong(&ok);
    if (!ok || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

} // namespace

PanelOptions ParsePanelOptions(const QStringList& arguments, QString* helpText) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Virtuelles Kelmora-Panel: spielt das Panel am anderen Ende der seriellen "
                       "Leitung. Ohne Gerät öffnet es ein Pseudo-Terminal und gibt dessen Pfad "
                       "als erste Zeile aus."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption rowsOption(QStringLiteral("rows"),
                                        QStringLiteral("Zeilen der Anzeige (1–50, Vorgabe 4)."),
                                        QStringLiteral("N"), QStringLiteral("4"));
    const QCommandLineOption colsOption(QStringLiteral("cols"),
                                        QStringLiteral("Spalten der Anzeige (1–200, Vorgabe 20)."),
                                        QStringLiteral("N"), QStringLiteral("20"));
    const QCommandLineOption baudOption(
        QStringLiteral("baud"),
        QStringLiteral("Geschwindigkeit in Bit/s (50–4000000, Vorgabe 38400)."),
        QStringLiteral("N"), QStringLiteral("38400"));
    parser.addOptions({rowsOption, colsOption, baudOption});
    parser.addPositionalArgument(QStringLiteral("gerät"),
                                 QStringLiteral("Serielles Gerät statt eines Pseudo-Terminals."),
                                 QStringLiteral("[gerät]"));

    PanelOptions options;
    if (helpText != nullptr) {
        *helpText = parser.helpText();
    }
    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    options.help = parser.isSet(helpOption);

    const auto rows = NumberIn(parser.value(rowsOption), 1, 50);
    const auto columns = NumberIn(parser.value(colsOption), 1, 200);
    const auto baud = NumberIn(parser.value(baudOption), 50, 4'000'000);
    const QStringList positional = parser.positionalArguments();
    if (!rows) {
        options.error = QStringLiteral("--rows erwartet eine Zahl von 1 bis 50.");
    } else if (!columns) {
        options.error = QStringLiteral("--cols erwartet eine Zahl von 1 bis 200.");
    } else if (!baud) {
        options.error = QStringLiteral("--baud erwartet eine Zahl von 50 bis 4000000.");
    } else if (positional.size() > 1) {
        options.error = QStringLiteral("Höchstens ein Gerät angeben.");
    } else {
        options.rows = static_cast<int>(*rows);
        options.columns = static_cast<int>(*columns);
        options.baud = static_cast<unsigned>(*baud);
        options.device = positional.value(0);
    }
    return options;
}

} // namespace sim
