#include "SystemMenu.h"

#include <QMenu>

void BuildSystemMenu(QMenu& menu, const QString& strAboutMenu) {
    QAction* close = menu.addAction(QStringLiteral("S&chließen"));
    close->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    close->setData(SC_CLOSE);
    if (strAboutMenu.isEmpty())
        return;
    menu.addSeparator();
    menu.addAction(strAboutMenu)->setData(IDM_ABOUT);
}
