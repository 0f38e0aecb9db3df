#pragma once

#include "PacingRun.h"

class CTestDlg;
class QPlainTextEdit;

// Ctrl+V at the end of the transmit box; the window sends the growth before the key returns.
[[nodiscard]] Run PasteIntoWindow(CTestDlg& dlg, QPlainTextEdit& edit, LineTimer& line,
                                  const std::string& text);
