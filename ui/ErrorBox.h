#pragma once

#include <LinkError.h>

#include <memory>

class QMessageBox;
class QWidget;

// The warning box with one OK button, captioned with the application's name: "Fehlernummer: %d !"
// and below it the one detail line (wording/LinkErrorText.h).
[[nodiscard]] std::unique_ptr<QMessageBox> CreateErrorBox(const LinkError& error, QWidget* parent);

// Shows the box modally over `parent` (centred on the screen without one) and returns once OK
// is pressed.
void ShowLinkError(const LinkError& error, QWidget* parent);
