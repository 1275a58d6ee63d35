/*
 * listbox.h - the item list behind list boxes and combo boxes.
 */
#ifndef KWUSER_LISTBOX_H
#define KWUSER_LISTBOX_H

#include <optional>

#include "window.h"

namespace kwuser {

/* Lock held. The LB_ / CB_ messages of a list or combo box; nothing for other messages. */
std::optional<LRESULT> listMessage(Window& window, UINT message, WPARAM wParam, LPARAM lParam);

bool isMultipleSelection(const Window& window);
/* The selected item of a single-selection list or a combo box, or -1. */
int currentItem(const Window& window);
/* What a user's choice of an item does to the list: a single-selection list or a combo box selects
 * it alone (a single-selection list can also drop it), a multiple-selection list sets that item. */
void chooseItem(Window& window, int index, bool selected);

}  // namespace kwuser

#endif
