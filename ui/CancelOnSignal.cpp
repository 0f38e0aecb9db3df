#include "CancelOnSignal.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The signal handler can reach nothing but what lives at file level.
std::atomic<int> s_signalPipe{-1};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");

extern "C" void WriteSignalByte(int signalNumber) {
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    // A full pipe already holds a wake-up; nothing is lost by dropping this one.
    [[maybe_unused]] const ssize_t n = ::write(s_signalPipe.load(), &byte, 1);
    errno = savedErrno;
}

// Ends every modal window as it opens. The end is queued, so the window's own loop runs it.
class CCancelOnShow : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            if (auto* dialog = qobject_cast<QDialog*>(watched); dialog && dialog->isModal())
                QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
        return false;
    }
};

} // namespace

CCancelOnSignal::CCancelOnSignal() {
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
        return; // the signals keep their default action: the process ends, as before
    m_read.reset(fds[0]);
    m_write.reset(fds[1]);
    s_signalPipe.store(m_write.get());

    m_notifier = std::make_unique<QSocketNotifier>(m_read.get(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { OnSignal(); });

    struct sigaction action {};
    action.sa_handler = WriteSignalByte;
    sigemptyset(&action.sa_mask);
    // The link's waits and writes restart on EINTR themselves; SA_RESTART spares everyone else.
    action.sa_flags = SA_RESTART;
    // Installed also where the starting shell set SIGINT to be ignored (a background job).
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &action, &m_previous[i]);
}

CCancelOnSignal::~CCancelOnSignal() {
    if (!m_write.valid())
        return;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &m_previous[i], nullptr);
    s_signalPipe.store(-1);
}

void CCancelOnSignal::OnSignal() {
    char bytes[16];
    while (::read(m_read.get(), bytes, sizeof bytes) > 0) {
    }
    if (!m_cancelOnShow) {
        m_cancelOnShow = std::make_unique<CCancelOnShow>();
        qApp->installEventFilter(m_cancelOnShow.get());
    }
    CancelModalWindows();
}

void CCancelOnSignal::CancelModalWindows() {
    // Rejecting hides the window, which takes it off the modal stack; the one below comes next.
    QWidget* previous = nullptr;
    while (QWidget* modal = QApplication::activeModalWidget()) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (!dialog || dialog == previous)
            break;
        dialog->reject();
        previous = dialog;
    }
}
