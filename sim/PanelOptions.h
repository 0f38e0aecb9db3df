#pragma once

#include <QString>
#include <QStringList>

namespace sim {

struct PanelOptions {
    int rows = 4;
    int columns = 20;
    unsigned baud = 38400;
    QString device; // empty: a new pseudo-terminal pair
    QString error;  // German; set when the command line is not usable
    bool help = false;
};

// Reads the command line: [--rows N] [--cols N] [--baud N] [GERÄT]. The help text goes with it.
[[nodiscard]] PanelOptions ParsePanelOptions(const QStringList& arguments, QString* helpText);

} // namespace sim
