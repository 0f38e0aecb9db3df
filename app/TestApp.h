#pragma once

#include <QApplication>

// The program: runs the main test window modally and ends when it closes.
class CTestApp : public QApplication {
public:
    CTestApp(int& argc, char** argv);

    // Runs the program's one window to its end; the process exit code.
    int InitInstance();
};
