#pragma once

#include "OpenAttempt.h"
#include "PtyPair.h"

#include <TestDlg.h>

#include <QTest>

#include <gtest/gtest.h>

#include <memory>

// The main test window with a panel on COM1 and another on COM2; COM3 and COM4 have nothing
// behind them. Every port failure is recorded instead of shown.
class WindowFixture : public ::testing::Test, protected ReportLog {
protected:
    PtyPair panel;
    PtyPair panel2;
    PortEnvironment ports{{panel.Path(), panel2.Path(), "", ""}};
    std::unique_ptr<CTestDlg> dlg;

    void OpenWindow() {
        dlg = std::make_unique<CTestDlg>(Recorder());
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    }
    template <class T = QWidget> T* Control(int id) const {
        T* control = dlg->findChild<T*>(QString::number(id));
        EXPECT_NE(control, nullptr) << "no control " << id;
        return control;
    }
    void Click(int id) { QTest::mouseClick(Control(id), Qt::LeftButton); }
    void Key(int id, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(Control(id), key, modifiers);
    }
};
