/*
 * action.h - keyboard presses of a dialog's buttons, for the layer and its presenters.
 */
#ifndef KWUSER_ACTION_H
#define KWUSER_ACTION_H

#include "kwuser.h"

namespace kwuser {

/* Enter or Esc in a dialog: the push button with that id reports BN_CLICKED without taking the
 * focus, as a key press does. False (and nothing sent) when there is no such enabled button. */
bool pressButton(HWND dialog, int controlId);

}  // namespace kwuser

#endif
