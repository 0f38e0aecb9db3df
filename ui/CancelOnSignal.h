#pragma once

#include <StopSignals.h>

#include <memory>

class QObject;
class QSocketNotifier;

// While it lives, SIGINT, SIGTERM and SIGHUP (Ctrl+C in the starting terminal, kill, a closed
// session) end the open modal windows as their "Abbrechen" would, innermost first, instead of
// killing the process: the main window's modal loop ends and its link closes the port properly.
// A send in progress is stopped by the window itself when its loop is ended.
//
// The signal's wake-up is handled on the window's thread, also from inside a long send, which
// lets the window handle such events. From the first signal on the program is ending, so every
// modal window that still opens (the start-up's error boxes, the main window itself) ends at
// once as well. Only one may exist at a time.
class CCancelOnSignal {
public:
    CCancelOnSignal();
    ~CCancelOnSignal();

    CCancelOnSignal(const CCancelOnSignal&) = delete;
    CCancelOnSignal& operator=(const CCancelOnSignal&) = delete;

    // Ends the open modal windows, innermost first, as "Abbrechen" does.
    static void CancelModalWindows();

private:
    void OnSignal();

    CStopSignals m_signals;
    std::unique_ptr<QSocketNotifier> m_notifier; // goes before the pipe closes
    std::unique_ptr<QObject> m_cancelOnShow;     // from the first signal on
};
