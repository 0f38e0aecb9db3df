// Measures, from the far end of a pseudo-terminal, how evenly the link paces the bytes it
// sends, next to a plain write-and-usleep sender on the same kind of line. It prints figures
// and a verdict; the exit code is non-zero only when the measurement itself broke: bytes lost,
// out of order or extra, or a line that could not be set up.
#include "LineTimer.h"

#include <ComPort.h>
#include <LineSettings.h>
#include <TestDlg.h>
#include <TestDlgTemplate.h>

#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QTest>

#include <fcntl.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>

using namespace std::chrono_literals;

namespace {

constexpr int kBaudRate = 38400;
constexpr useconds_t kReferencePauseUs = 3000;
constexpr double kPauseMs = 3.0;
// A write this long after the previous one was held up by the machine, not by the pacing.
constexpr double kLateMs = 3.5;
constexpr unsigned long kDefaultTimerSlackNs = 50'000;
// The link's pause after a byte sleeps until shortly before its end and waits out the rest
// awake; a sleep that ends later than that lengthens the pause.
constexpr double kLinkWakeLeadUs = 100.0;

// One string sent once: when the sender was asked, when it wrote each byte, and when each
// byte arrived at the far end.
struct Run {
    Clock::time_point start; // the SendText call, the paste, or the reference's first write
    std::vector<Clock::time_point> writes;
    std::vector<Arrival> arrivals;
    long timerSlackNs = 0; // of the sending thread
    std::string error;     // empty when exactly the sent bytes arrived, in order
};

// Printable ASCII: no flow-control byte, no line break, and neighbours always differ.
std::string Pattern(std::size_t length) {
    std::string s(length, ' ');
    for (std::size_t i = 0; i < length; ++i)
        s[i] = static_cast<char>('!' + i % 94);
    return s;
}

// Takes what the far end received for `sent` into the run; anything else is an error.
void Receive(Run& run, LineTimer& line, const std::string& sent) {
    run.arrivals = line.Collect(sent.size(), sent.size() * 10ms + 2s);
    std::string received;
    for (const Arrival& a : run.arrivals)
        received += a.byte;
    if (received.size() < sent.size())
        run.error = "Bytes verloren: " + std::to_string(received.size()) + " von " +
                    std::to_string(sent.size()) + " angekommen";
    else if (received != sent)
        run.error = "Bytes vertauscht oder verfälscht";
    else {
        // A byte after the last one would be a fault as well; give it time to show up.
        std::this_thread::sleep_for(20ms);
        if (line.Pending() > 0)
            run.error = "mehr Bytes angekommen als gesendet";
    }
}

std::string Describe(const LinkError& e) {
    return "Link-Fehler an " + e.device + ": errno " + std::to_string(e.errorNumber);
}

Run SendThroughLink(const std::string& text) {
    Run run;
    LineTimer line;
    if (!line.IsOpen()) {
        run.error = "kein Pseudo-Terminal";
        return run;
    }
    ::setenv("KELMORA_COM1", line.Path().c_str(), 1);
    CComPort port([&run](const LinkError& e) { run.error = Describe(e); });
    run.writes.reserve(text.size());
    port.SetByteHook([&run](std::size_t, Clock::time_point t) {
        run.writes.push_back(t);
        return true;
    });
    if (!run.error.empty())
        return run;
    run.start = Clock::now();
    port.SendText(text);
    run.timerSlackNs = ::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    if (run.error.empty())
        Receive(run, line, text);
    return run;
}

// The plain way to pace: write one byte, usleep 3 ms, with the timer slack a program of its
// own starts with (a thread would inherit the lowered slack of the thread that made the link).
Run SendReference(const std::string& text) {
    Run run;
    LineTimer line;
    const UniqueFd fd(line.IsOpen() ? ::open(line.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)
                                    : -1);
    if (!fd.valid() || ApplyLineSettings(fd.get(), kBaudRate)) {
        run.error = "Referenzleitung nicht einzurichten";
        return run;
    }
    run.writes.reserve(text.size());
    std::jthread([&] {
        ::prctl(PR_SET_TIMERSLACK, kDefaultTimerSlackNs, 0UL, 0UL, 0UL);
        run.timerSlackNs = ::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
        run.start = Clock::now();
        for (const char c : text) {
            if (::write(fd.get(), &c, 1) != 1) {
                run.error = "Referenz: write fehlgeschlagen";
                return;
            }
            run.writes.push_back(Clock::now());
            ::usleep(kReferencePauseUs);
        }
    }).join();
    if (run.error.empty())
        Receive(run, line, text);
    return run;
}

// Ctrl+V at the end of the transmit box; the window sends the growth before the key returns.
Run PasteIntoWindow(CTestDlg& dlg, QPlainTextEdit& edit, LineTimer& line, const std::string& text) {
    Run run;
    run.writes.reserve(text.size());
    dlg.WatchBytes([&run](std::size_t, Clock::time_point t) { run.writes.push_back(t); });
    QGuiApplication::clipboard()->setText(QString::fromLatin1(text));
    edit.moveCursor(QTextCursor::End);
    run.start = Clock::now();
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    dlg.WatchBytes({});
    run.timerSlackNs = ::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    Receive(run, line, text);
    return run;
}

// How late sleeps of about a pause end on this machine at the moment, in microseconds, with the
// link's timer slack: the first cause of lengthened pauses.
std::vector<double> WakeLateness() {
    std::vector<double> late;
    std::jthread([&] {
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        Clock::time_point wake = Clock::now();
        for (int i = 0; i < 300; ++i) {
            wake += 2900us;
            const auto ns =
                std::chrono::duration_cast<std::chrono::nanoseconds>(wake.time_since_epoch())
                    .count();
            const timespec ts{static_cast<time_t>(ns / 1'000'000'000),
                              static_cast<long>(ns % 1'000'000'000)};
            while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
            }
            late.push_back(Milliseconds(Clock::now() - wake) * 1000.0);
        }
    }).join();
    return late;
}

void PrintWakeLateness(const char* when) {
    const std::vector<double> late = WakeLateness();
    const auto s = SpreadOf(late);
    if (!s)
        return;
    const auto over = std::ranges::count_if(late, [](double us) { return us > kLinkWakeLeadUs; });
    std::printf("Aufwachen nach Schlaf bis 2.9 ms (%s), Verspätung in µs: min %.1f, median %.1f, "
                "p99 %.1f, max %.1f; über %.0f µs: %td von %zu\n",
                when, s->min, s->median, s->p99, s->max, kLinkWakeLeadUs, over, s->count);
}

// The same string sent several times by the link and by the reference, alternately, so that
// both see the same state of the machine.
struct Case {
    std::string title;
    std::string trigger; // what the first-byte time counts from
    std::size_t length = 0;
    std::vector<Run> ours;
    std::vector<Run> reference;
};

// Figures of one sender over all runs of a case.
struct Figures {
    std::optional<Spread> lineGaps;
    std::optional<Spread> writeGaps;
    std::vector<double> spans; // ms, one per run, in run order
    double medianSpan = 0;
    double medianFirstByte = 0;
    std::size_t lateWrites = 0;
    double lateMs = 0; // what the late writes added beyond the pause, over all runs
    std::size_t shared = 0;
    std::size_t bytes = 0;
};

Figures Evaluate(const std::vector<Run>& runs) {
    Figures f;
    std::vector<double> lineGaps;
    std::vector<double> writeGaps;
    std::vector<double> firstBytes;
    for (const Run& run : runs) {
        std::vector<Clock::time_point> arrivals;
        for (const Arrival& a : run.arrivals) {
            arrivals.push_back(a.at);
            f.shared += a.shared ? 1 : 0;
        }
        f.bytes += arrivals.size();
        AppendGaps(arrivals, lineGaps);
        AppendGaps(run.writes, writeGaps);
        if (!arrivals.empty()) {
            f.spans.push_back(Milliseconds(arrivals.back() - arrivals.front()));
            firstBytes.push_back(Milliseconds(arrivals.front() - run.start));
        }
    }
    f.lineGaps = SpreadOf(lineGaps);
    f.writeGaps = SpreadOf(writeGaps);
    for (const double gap : writeGaps)
        if (gap > kLateMs) {
            ++f.lateWrites;
            f.lateMs += gap - kPauseMs;
        }
    if (const auto spans = SpreadOf(f.spans))
        f.medianSpan = spans->median;
    if (const auto first = SpreadOf(firstBytes))
        f.medianFirstByte = first->median;
    return f;
}

void PrintSpreadRow(const char* label, const std::optional<Spread>& s) {
    if (s)
        std::printf("    %-24s %9.3f %9.3f %9.3f %9.3f  (%zu)\n", label, s->min, s->median, s->p99,
                    s->max, s->count);
    else
        std::printf("    %-24s %9s\n", label, "-");
}

void PrintSpan(const char* label, const Figures& f, double ideal) {
    const auto [lo, hi] = std::ranges::minmax(f.spans);
    std::printf("    %-24s %9.3f ms  = %.4f x ideal  (Läufe %.4f bis %.4f)\n", label, f.medianSpan,
                f.medianSpan / ideal, lo / ideal, hi / ideal);
}

void Report(const Case& c, const Figures& ours, const Figures& ref) {
    std::printf("\n== %s: %zu Zeichen, %zu Läufe je Sender ==\n", c.title.c_str(), c.length,
                c.ours.size());
    std::printf("  Abstände in ms                 min    median       p99       max  (Anzahl)\n");
    std::printf("  auf der Leitung (Empfang)\n");
    PrintSpreadRow("Link", ours.lineGaps);
    PrintSpreadRow("Referenz", ref.lineGaps);
    std::printf("  zwischen den Schreibaufrufen des Senders\n");
    PrintSpreadRow("Link", ours.writeGaps);
    PrintSpreadRow("Referenz", ref.writeGaps);
    std::printf(
        "    davon über %.1f ms: Link %zu (zusammen %.1f ms zu spät), Referenz %zu (%.1f ms)\n",
        kLateMs, ours.lateWrites, ours.lateMs, ref.lateWrites, ref.lateMs);
    if (c.length > 1) {
        const double ideal = kPauseMs * static_cast<double>(c.length - 1);
        std::printf("  Spanne erstes bis letztes Byte, Median (ideal %.3f ms)\n", ideal);
        PrintSpan("Link", ours, ideal);
        PrintSpan("Referenz", ref, ideal);
    }
    std::printf("  %s bis erstes Byte, Median: Link %.3f ms, Referenz %.3f ms\n", c.trigger.c_str(),
                ours.medianFirstByte, ref.medianFirstByte);
    std::printf("  mit anderen zusammen gelesene Bytes: Link %zu von %zu, Referenz %zu von %zu\n",
                ours.shared, ours.bytes, ref.shared, ref.bytes);
}

const char* Mark(bool met) {
    return met ? "PASS" : "MISS";
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string line;
    std::getline(in, line);
    return line;
}

// Prints the figures of every case and the verdict; false when any run broke.
bool ReportAll(const std::vector<Case>& cases) {
    bool intact = true;
    double smallestWriteGap = 1e9;
    std::vector<std::string> gapLines;
    bool gapsMet = true;
    std::vector<std::pair<std::string, Figures>> longest;
    std::optional<double> pasteFirstByte;

    for (const Case& c : cases) {
        for (const auto* runs : {&c.ours, &c.reference})
            for (const Run& run : *runs)
                if (!run.error.empty()) {
                    std::printf("FEHLER in %s (%zu Zeichen): %s\n", c.title.c_str(), c.length,
                                run.error.c_str());
                    intact = false;
                }
        const Figures ours = Evaluate(c.ours);
        const Figures ref = Evaluate(c.reference);
        Report(c, ours, ref);

        if (ours.writeGaps)
            smallestWriteGap = std::min(smallestWriteGap, ours.writeGaps->min);
        if (ours.lineGaps && ref.lineGaps) {
            const bool met =
                ours.lineGaps->median <= 3.080 && ours.lineGaps->median < ref.lineGaps->median;
            gapsMet = gapsMet && met;
            char line[200];
            std::snprintf(line, sizeof line,
                          "        %s  %s, %zu Zeichen: %.3f ms (Referenz %.3f ms)", Mark(met),
                          c.title.c_str(), c.length, ours.lineGaps->median, ref.lineGaps->median);
            gapLines.emplace_back(line);
        }
        if (c.length == 1000)
            longest.emplace_back(c.title, ours);
        if (c.trigger == "Einfügen")
            pasteFirstByte = ours.medianFirstByte;
    }

    std::printf("\n== Bewertung ==\n");
    std::printf("  %s  eigene Schreibaufrufe nie unter 3.000 ms auseinander (kleinster Abstand "
                "%.3f ms)\n",
                Mark(smallestWriteGap >= kPauseMs), smallestWriteGap);
    std::printf("  %s  Median-Abstand auf der Leitung <= 3.080 ms und unter dem der Referenz\n",
                Mark(gapsMet));
    for (const std::string& line : gapLines)
        std::printf("%s\n", line.c_str());
    for (const auto& [title, f] : longest) {
        const double bound = 1.01 * 2997.0;
        std::printf("  %s  %s, 1000 Zeichen: Spanne <= 1.01 x 2997 ms = %.3f ms (Median %.3f ms, "
                    "längste %.3f ms;\n        je Lauf im Mittel %.1f ms aus Schreibabständen "
                    "über %.1f ms)\n",
                    Mark(f.medianSpan <= bound), title.c_str(), bound, f.medianSpan,
                    std::ranges::max(f.spans), f.lateMs / static_cast<double>(f.spans.size()),
                    kLateMs);
    }
    if (pasteFirstByte)
        std::printf("  %s  erstes Byte binnen 1 ms nach dem Einfügen (Median %.3f ms)\n",
                    Mark(*pasteFirstByte <= 1.0), *pasteFirstByte);
    return intact;
}

} // namespace

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
