#pragma once

#include <LinkError.h>

#include <QString>

#include <memory>

class QMessageBox;
class QWidget;

// "Fehlernummer: %d !" with the error number of the failed call.
[[nodiscard]] QString ErrorMessage(const LinkError& error);
// One line below it: the device the port name stood for, the system's text for the error and,
// where the link could tell, the cause and what to do about it.
[[nodiscard]] QString ErrorDetail(const LinkError& error);

// The warning box with one OK button, captioned with the application's name.
[[nodiscard]] std::unique_ptr<QMessageBox> CreateErrorBox(const LinkError& error, QWidget* parent);

// Shows the box modally over `parent` (centred on the screen without one) and returns once OK
// is pressed.
void ShowLinkError(const LinkError& error, QWidget* parent);
