#include "CancelOnSignal.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QSocketNotifier>

namespace {

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
    if (m_signals.WakeFd() < 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_signals.WakeFd(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { OnSignal(); });
}

CCancelOnSignal::~CCancelOnSignal() = default;

void CCancelOnSignal::OnSignal() {
    // The pipe stays readable; once every modal window ends as it opens, later signals add
    // nothing.
    m_notifier->setEnabled(false);
    m_cancelOnShow = std::make_unique<CCancelOnShow>();
    qApp->installEventFilter(m_cancelOnShow.get());
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
