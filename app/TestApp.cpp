#include "TestApp.h"

#include <ButtonAccessible.h>
#include <CancelOnSignal.h>
#include <TestDlg.h>

CTestApp::CTestApp(int& argc, char** argv)
    : QApplication(argc, argv) {
    // The name stays the executable's (it captions the message boxes); the version is the
    // program's version record.
    setApplicationVersion(QStringLiteral(PROJECT_VERSION));
    // The installed menu entry's name: Wayland shells take the window's icon from it and group
    // the window with the entry.
    setDesktopFileName(QStringLiteral(KELMORA_DESKTOP_ENTRY));
    // A screen reader's press on a button is the operator's click: the window acts on clicks.
    QAccessible::installFactory(&CButtonAccessible::Create);
}

int CTestApp::InitInstance() {
    // SIGINT, SIGTERM and SIGHUP end the window as "Abbrechen" does, from before it opens the
    // port until after it has closed it.
    const CCancelOnSignal cancelOnSignal;
    // Constructing the window opens the port; leaving this scope closes it, however the
    // window was left.
    CTestDlg dlg;
    dlg.exec();
    return 0;
}
