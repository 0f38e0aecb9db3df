#include "AboutDlg.h"

#include "Resources.h"

#include <QAbstractButton>

#include <array>

namespace {

using enum ControlKind;

constexpr std::array kControls = {
    ControlSpec{0, Icon, "", {11, 17, 20, 20}, kPlain, IDI_APP},
    ControlSpec{0, Text, "Kelmora Testprogramm Version 0.1", {45, 10, 108, 8}},
    ControlSpec{0, Text, "Ausgabe 2026", {45, 40, 59, 8}},
    ControlSpec{IDOK, DefPushButton, "OK", {178, 7, 50, 14}, kGroup},
    ControlSpec{0, Text, "Prüffeld Kelmora", {45, 25, 68, 8}},
};

const DialogSpec kTemplate{IDD_ABOUT, "Info über Kelmora", {235, 55}, kControls};

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent)
    : CDialog(kTemplate, parent) {
    connect(Controls().Get<QAbstractButton>(IDOK), &QAbstractButton::clicked, this,
            &CAboutDlg::accept);
}
