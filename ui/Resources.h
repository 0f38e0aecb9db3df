#pragma once

#include <QIcon>
#include <QString>

// The program's string and icon resources, by id; the window templates are beside their
// windows (IDD_TEST, IDD_ABOUT).
inline constexpr int IDS_ABOUTMENU = 101; // the About entry of the system menu
inline constexpr int IDI_APP = 128;       // the application icon, 32 × 32 and 16 × 16

// The text of a string resource; empty for an unknown id.
[[nodiscard]] QString LoadString(int nID);
// An icon resource with all its images; a null icon for an unknown id.
[[nodiscard]] QIcon LoadIcon(int nID);
