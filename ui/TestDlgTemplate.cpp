#include "TestDlgTemplate.h"

#include <array>

namespace {

using enum ControlKind;

// Template order is also the tab order. A slider's caption is not shown; it names its axis.
constexpr std::array kControls = {
    ControlSpec{1014, GroupBox, "Serielle Schnittstelle", {10, 10, 150, 140}, kGroup},
    ControlSpec{1004, GroupBox, "Port", {20, 20, 55, 75}},
    ControlSpec{IDC_COM1, RadioButton, "COM1", {30, 30, 35, 15}, kRightText | kGroup},
    ControlSpec{IDC_COM2, RadioButton, "COM2", {30, 46, 35, 15}, kRightText},
    ControlSpec{IDC_COM3, RadioButton, "COM3", {30, 60, 35, 15}, kRightText},
    ControlSpec{IDC_COM4, RadioButton, "COM4", {30, 76, 35, 15}, kRightText},
    ControlSpec{1013, GroupBox, "Flusskontrolle", {20, 100, 55, 45}, kDisabled},
    ControlSpec{IDC_FLOW_HARDWARE, RadioButton, "Hardware", {26, 113, 44, 15}, kDisabled | kGroup},
    ControlSpec{IDC_FLOW_SOFTWARE, RadioButton, "Software", {26, 127, 44, 15}, kDisabled},
    ControlSpec{1010, GroupBox, "Baudrate", {90, 20, 55, 125}},
    ControlSpec{IDC_BAUD_2400, RadioButton, "2400", {100, 31, 35, 15}, kRightText | kGroup},
    ControlSpec{IDC_BAUD_9600, RadioButton, "9600", {100, 47, 35, 15}, kRightText},
    ControlSpec{IDC_BAUD_14400, RadioButton, "14400", {100, 63, 35, 15}, kRightText},
    ControlSpec{IDC_BAUD_19200, RadioButton, "19200", {100, 79, 35, 15}, kRightText},
    ControlSpec{IDC_BAUD_38400, RadioButton, "38400", {100, 95, 35, 15}, kRightText},
    ControlSpec{1017, GroupBox, "Fehlermeldungen", {10, 155, 150, 50}, kDisabled},
    ControlSpec{IDC_ERRORS, BorderedText, "", {15, 170, 135, 25}},
    ControlSpec{1044, GroupBox, "Kelmora Funktionen", {170, 10, 235, 130}},
    ControlSpec{1021, GroupBox, "Cursor Position", {180, 20, 75, 85}, kDisabled},
    ControlSpec{IDC_CURSOR_X, VerticalSlider, "X", {190, 35, 25, 65}, kDisabled | kGroup},
    ControlSpec{IDC_CURSOR_Y, VerticalSlider, "Y", {220, 35, 25, 65}, kDisabled},
    ControlSpec{1031, GroupBox, "LED's", {265, 20, 135, 70}},
    ControlSpec{IDC_LED1_ON, RadioButton, "AN", {270, 32, 39, 10}, kGroup},
    ControlSpec{IDC_LED1_OFF, RadioButton, "AUS", {270, 47, 39, 10}},
    ControlSpec{IDC_LED1_BLINK, RadioButton, "BLINK", {270, 62, 39, 10}},
    ControlSpec{IDC_LED2_ON, RadioButton, "AN", {313, 32, 39, 10}, kGroup},
    ControlSpec{IDC_LED2_OFF, RadioButton, "AUS", {313, 47, 39, 10}},
    ControlSpec{IDC_LED2_BLINK, RadioButton, "BLINK", {313, 62, 39, 10}},
    ControlSpec{IDC_LED3_ON, RadioButton, "AN", {358, 32, 39, 10}, kGroup},
    ControlSpec{IDC_LED3_OFF, RadioButton, "AUS", {358, 47, 39, 10}},
    ControlSpec{IDC_LED3_BLINK, RadioButton, "BLINK", {358, 62, 39, 10}},
    ControlSpec{IDC_CLEAR, PushButton, "Kelmora Säubern", {180, 115, 75, 20}},
    ControlSpec{1041, GroupBox, "Empfangene Daten", {265, 95, 135, 40}, kDisabled},
    ControlSpec{IDC_RECEIVED, BorderedText, "", {275, 107, 115, 20}, kGroup},
    ControlSpec{1043, GroupBox, "Senden", {170, 145, 235, 85}},
    ControlSpec{IDC_SEND, MultiLineEdit, "", {175, 155, 225, 70}},
    ControlSpec{IDOK, DefPushButton, "Exit", {10, 216, 50, 14}},
    ControlSpec{IDCANCEL, PushButton, "Abbrechen", {110, 216, 50, 14}},
    ControlSpec{1045, CentredText, "1", {280, 75, 8, 8}, kGroup, 0, "LED 1"},
    ControlSpec{1046, CentredText, "2", {325, 75, 8, 8}, kGroup, 0, "LED 2"},
    ControlSpec{1047, CentredText, "3", {370, 75, 8, 8}, kGroup, 0, "LED 3"},
};

} // namespace

const DialogSpec& TestDlgTemplate() {
    static const DialogSpec spec{IDD_TEST, "Kelmora-Test", {417, 236}, kControls};
    return spec;
}
