#include "PacingFigures.h"

#include <algorithm>
#include <cstdio>

namespace {

// A write this long after the previous one was held up by the machine, not by the pacing.
constexpr double kLateMs = 3.5;

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

} // namespace

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
