#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

// Message boxes of the program: always captioned "MARVANE", modal to the main window.
// UI thread only. Tests replace the box with a handler that records the call and answers it.
namespace mvui {

inline constexpr const char* kAppTitle = "MARVANE";

// Shows `text` with `icon` and `buttons`; returns the button pressed (QMessageBox::StandardButton).
// `defaultButton` is the one Enter presses (NoButton: the style's choice).
int ShowMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon = QMessageBox::Warning,
                QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// A handler that stands in for every message box while it is set (tests); an empty function
// restores the real boxes. The handler returns the button that "was pressed".
using MessageHandler = std::function<int(const QString& text, QMessageBox::Icon icon,
                                         QMessageBox::StandardButtons buttons)>;
void SetMessageHandlerForTesting(MessageHandler handler);

}  // namespace mvui
