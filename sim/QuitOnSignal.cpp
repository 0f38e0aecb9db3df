#include "QuitOnSignal.h"

#include <QCoreApplication>

namespace sim {

QuitOnSignal::QuitOnSignal(QObject* parent)
    : QObject(parent) {
    if (signals_.WakeFd() < 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(signals_.WakeFd(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &QCoreApplication::quit);
}

} // namespace sim
