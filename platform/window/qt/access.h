// Access to the toolkit widgets behind window handles, for tests that drive
// windows the way a person would (typing, clicking). Includes Qt: never part of
// the window layer's public headers.
#pragma once

#include <QString>

#include "platform/window/window.h"

class QWidget;

namespace tvx::platform::qt {

// The widget that shows a window (null for none). For a top-level window this is
// the window itself; for a control, the control's widget.
QWidget* widgetOf(Hwnd hwnd);
// The window a widget (or a widget inside it) shows, 0 for none.
Hwnd handleOf(const QWidget* widget);
// Text as shown to a person (UTF-8 when valid, else Windows-1252).
QString toQString(std::string_view bytes);

}  // namespace tvx::platform::qt
