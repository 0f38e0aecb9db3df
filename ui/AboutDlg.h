#pragma once

#include "Dialog.h"

// "Info über Kelmora": the program's name, version, contact and year.
class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(QWidget* parent);
};
