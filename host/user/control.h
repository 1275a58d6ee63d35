/*
 * control.h - the messages windows answer, as the window and user-action code dispatch them.
 */
#ifndef KWUSER_CONTROL_H
#define KWUSER_CONTROL_H

#include <optional>
#include <string_view>

#include "window.h"

namespace kwuser {

/* Lock held. Answers the message for the window, or nothing when the window does not handle it
 * (a dialog then passes it to its procedure; a control answers 0). */
std::optional<LRESULT> windowMessage(Window& window, UINT message, WPARAM wParam, LPARAM lParam);

/* The window text as WM_GETTEXT reads it (a drop-down list shows its selected item). */
std::string windowText(const Window& window);

/* The state a user's click leaves a button in (auto check boxes change, others keep theirs). */
int checkAfterClick(uint32_t style, int check);
bool isCheckBox(uint32_t style);
bool isPushButton(uint32_t style);

}  // namespace kwuser

#endif
