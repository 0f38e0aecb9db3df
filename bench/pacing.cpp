// Measures, from the far end of a pseudo-terminal, how evenly the link paces the bytes it
// sends, next to a plain write-and-usleep sender on the same kind of line. It prints figures
// and a verdict; the exit code is non-zero only when the measurement itself broke: bytes lost,
// out of order or extra, or a line that could not be set up.
#include "MachineState.h"
#include "PacingFigures.h"
#include "PastePacing.h"
#include "SendTextPacing.h"

#include <TestDlg.h>
#include <TestDlgTemplate.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Only pseudo-terminals: COM1 is pointed at one per run, the other ports lead nowhere.
    for (int n = 1; n <= 4; ++n) {
        const std::string port = std::to_string(n);
        ::setenv(("KELMORA_COM" + port).c_str(), ("/nonexistent/kelmora-bench/COM" + port).c_str(),
                 1);
    }
    QApplication app(argc, argv);

    std::printf("Taktung des Links: 1 Byte, dann 3 ms Pause; gemessen am Master eines "
                "Pseudo-Terminals.\n");
    std::printf(
        "Referenz: write() eines Bytes + usleep(3000) auf einem eigenen Pseudo-Terminal.\n");
    std::printf("Grenze der Messung: der Empfänger liest höchstens 16 Bytes je read(); kommen "
                "mehrere\nzusammen an, tragen alle dieselbe Zeit (Abstand 0).\n");
    std::printf("Last vorher: %s\n", LoadAverage().c_str());
    PrintWakeLateness("vorher");

    std::vector<Case> cases;
    for (const auto& [length, runs] :
         {std::pair<std::size_t, int>{1, 20}, {4, 10}, {100, 5}, {1000, 3}}) {
        Case c{"SendText", "Aufruf", length, {}, {}};
        const std::string text = Pattern(length);
        for (int i = 0; i < runs; ++i) {
            c.ours.push_back(SendThroughLink(text));
            c.reference.push_back(SendReference(text));
        }
        cases.push_back(std::move(c));
    }

    LineTimer windowLine;
    if (!windowLine.IsOpen()) {
        std::printf("FEHLER: kein Pseudo-Terminal für das Fenster\n");
        return 1;
    }
    ::setenv("KELMORA_COM1", windowLine.Path().c_str(), 1);
    std::string windowError;
    CTestDlg dlg([&windowError](const LinkError& e) { windowError = Describe(e); });
    dlg.show();
    auto* edit = dlg.findChild<QPlainTextEdit*>(QString::number(IDC_SEND));
    if (!QTest::qWaitForWindowExposed(&dlg) || !edit || !windowError.empty()) {
        std::printf("FEHLER: Fenster nicht bereit %s\n", windowError.c_str());
        return 1;
    }
    // As long as a paste that shows the window's own work during a send: its keep-alive's
    // handling of events and its timer.
    Case paste{"Einfügen ins Fenster", "Einfügen", 1000, {}, {}};
    const std::string text = Pattern(paste.length);
    for (int i = 0; i < 3; ++i) {
        paste.ours.push_back(PasteIntoWindow(dlg, *edit, windowLine, text));
        paste.reference.push_back(SendReference(text));
    }
    cases.push_back(std::move(paste));

    std::printf("Timer-Slack der sendenden Threads: Link %ld ns, Referenz %ld ns\n",
                cases.front().ours.front().timerSlackNs,
                cases.front().reference.front().timerSlackNs);
    const bool intact = ReportAll(cases) && windowError.empty();
    std::printf("\nLast nachher: %s\n", LoadAverage().c_str());
    PrintWakeLateness("nachher");
    return intact ? 0 : 1;
}
