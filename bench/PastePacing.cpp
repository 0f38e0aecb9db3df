#include "PastePacing.h"

#include <TestDlg.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QTest>

#include <sys/prctl.h>

Run PasteIntoWindow(CTestDlg& dlg, QPlainTextEdit& edit, LineTimer& line, const std::string& text) {
    Run run;
    run.writes.reserve(text.size());
    dlg.WatchBytes([&run](std::size_t, Clock::time_point t) { run.writes.push_back(t); });
    QGuiApplication::clipboard()->setText(QString::fromLatin1(text));
    edit.moveCursor(QTextCursor::End);
    run.start = Clock::now();
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    dlg.WatchBytes({});
    run.timerSlackNs = ::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    Receive(run, line, text);
    return run;
}
