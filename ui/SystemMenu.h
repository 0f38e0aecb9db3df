#pragma once

#include "Resources.h"

#include <QString>

class QMenu;

// The window's system menu. Qt cannot add to the window manager's menu, so the main window
// offers the same items as a context menu on its background.
inline constexpr unsigned IDM_ABOUT = 0x0010;
inline constexpr unsigned SC_CLOSE = 0xF060;

// The window manager's own items (here: close), then, when strAboutMenu is not empty, a
// separator and the About item. Every action carries its command id as data.
void BuildSystemMenu(QMenu& menu, const QString& strAboutMenu);
