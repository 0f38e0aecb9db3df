// kelmora-panel: plays the panel at the far end of a serial line, so that the tool can be tried
// without the device.
//
// Without a device argument it opens a pseudo-terminal pair. Either way, once the line is open,
// the first line on standard output is the path of the line, alone and flushed at once, for the
// tool to open (for a device: the device the panel itself opened). Nothing else is written to
// standard output; messages go to standard error. Exit status 0 on a normal end (window closed,
// SIGTERM, SIGINT, SIGHUP), 1 when the line cannot be opened, 2 on a bad command line.
#include "PanelLine.h"
#include "PanelOptions.h"
#include "PanelWindow.h"
#include "QuitOnSignal.h"

#include <QApplication>

#include <iostream>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kelmora-panel"));

    QString help;
    const sim::PanelOptions options = sim::ParsePanelOptions(QApplication::arguments(), &help);
    if (options.help) {
        std::cout << help.toStdString();
        return 0;
    }
    if (!options.error.isEmpty()) {
        std::cerr << "kelmora-panel: " << options.error.toStdString() << '\n' << help.toStdString();
        return 2;
    }

    sim::PanelLine line =
        options.device.isEmpty()
            ? sim::PanelLine::OpenPseudoTerminal(options.baud)
            : sim::PanelLine::OpenDevice(options.device.toStdString(), options.baud);
    if (!line.IsOpen()) {
        std::cerr << "kelmora-panel: " << line.Error() << '\n';
        return 1;
    }
    std::cout << line.Path() << '\n' << std::flush; // whoever started the panel waits for it

    const sim::QuitOnSignal quitOnSignal;
    if (!quitOnSignal.IsActive()) {
        std::cerr << "kelmora-panel: SIGTERM/SIGINT/SIGHUP werden nicht abgefangen.\n";
    }
    sim::PanelWindow window(std::move(line), options.rows, options.columns);
    window.show();
    return QApplication::exec();
}
