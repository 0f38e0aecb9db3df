#include "Help.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QUrl>

void OpenHelp(unsigned nCommand) {
    if (nCommand != HELP_CONTENTS)
        return;
    // A browser cannot read the program's resources, so the page goes to the user's cache first.
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    const QString page = dir + QStringLiteral("/hilfe.html");
    QDir().mkpath(dir);
    QFile::remove(page);
    if (QFile::copy(QStringLiteral(":/kelmora/hilfe.html"), page))
        QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}
