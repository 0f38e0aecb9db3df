#include "Resources.h"

QString LoadString(int nID) {
    return nID == IDS_ABOUTMENU ? QStringLiteral("Inf&o über Kelmora...") : QString();
}

QIcon LoadIcon(int nID) {
    return nID == IDI_APP ? QIcon(QStringLiteral(":/kelmora/kelmora.ico")) : QIcon();
}
