#pragma once

#include <deque>
#include <functional>

// Runs the window's link operations (a transmit step, a command, a port or speed change) one
// after the other, never one inside another. While a long send keeps the window alive, events
// that are not the operator's input (a drop, a timer, an accessibility request) are handled in
// the middle of the send; an operation they start waits here and runs right after the current
// one, so nothing is lost and the link never sees two operations interleaved.
class CStepQueue {
public:
    using Step = std::function<void()>;

    // Runs `step` now, or after the running one when called from inside it; not at all once
    // the queue is closed.
    void Run(Step step) {
        if (m_bClosed)
            return;
        m_pending.push_back(std::move(step));
        if (m_bRunning)
            return;
        m_bRunning = true;
        while (!m_pending.empty()) {
            const Step next = std::move(m_pending.front());
            m_pending.pop_front();
            next();
        }
        m_bRunning = false;
    }

    // The window has ended: what waits behind the running step is dropped, and input that was
    // still queued for the window when its loop ended starts nothing.
    void Close() {
        m_bClosed = true;
        m_pending.clear();
    }

private:
    std::deque<Step> m_pending;
    bool m_bRunning = false;
    bool m_bClosed = false;
};
