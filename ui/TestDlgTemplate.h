#pragma once

#include "DialogTemplate.h"

// Window template of the main test window and the ids of its controls.
inline constexpr int IDD_TEST = 102;

enum TestDlgControl : int {
    IDC_COM1 = 1000,
    IDC_COM2 = 1001,
    IDC_COM3 = 1002,
    IDC_COM4 = 1003,
    IDC_BAUD_2400 = 1005,
    IDC_BAUD_9600 = 1006,
    IDC_BAUD_14400 = 1007,
    IDC_BAUD_19200 = 1008,
    IDC_BAUD_38400 = 1009,
    IDC_FLOW_HARDWARE = 1011,
    IDC_FLOW_SOFTWARE = 1012,
    IDC_SEND = 1015,
    IDC_ERRORS = 1016,
    IDC_CURSOR_Y = 1018,
    IDC_CURSOR_X = 1019,
    IDC_LED1_ON = 1022,
    IDC_LED1_OFF = 1032,
    IDC_LED1_BLINK = 1033,
    IDC_LED2_ON = 1034,
    IDC_LED2_OFF = 1035,
    IDC_LED2_BLINK = 1036,
    IDC_LED3_ON = 1037,
    IDC_LED3_OFF = 1038,
    IDC_LED3_BLINK = 1039,
    IDC_CLEAR = 1040,
    IDC_RECEIVED = 1042,
};

[[nodiscard]] const DialogSpec& TestDlgTemplate();
