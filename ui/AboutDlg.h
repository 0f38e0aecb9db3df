#pragma once

#include "Dialog.h"

// Window template of the About box.
inline constexpr int IDD_ABOUT = 100;

// "Info über Kelmora": the program's name, version, contact and year.
class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(QWidget* parent);
};
