#include "SendKeepAlive.h"

#include <QApplication>
#include <QCursor>

CSendKeepAlive::CSending::CSending(CSendKeepAlive& keepAlive)
    : m_keepAlive(keepAlive) {
    m_keepAlive.m_lastTick = CComPort::Clock::now();
    m_keepAlive.m_bStop = false;
    m_keepAlive.m_bSending = true;
}

CSendKeepAlive::CSending::~CSending() {
    if (m_keepAlive.m_bBusyCursor)
        QApplication::restoreOverrideCursor();
    m_keepAlive.m_bBusyCursor = false;
    m_keepAlive.m_bSending = false;
}

bool CSendKeepAlive::OnByte(CComPort::Clock::time_point written) {
    // Called inside the byte's pause, which counts from the write: what is handled here comes out
    // of the pause and delays the next byte only if it takes longer than the pause.
    if (m_bSending && written - m_lastTick >= kTick) {
        m_lastTick = written;
        if (!m_bBusyCursor) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            m_bBusyCursor = true;
        }
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    return !m_bStop;
}
