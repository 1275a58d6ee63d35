/*
 * presenter.h - how the dialog and message-box code reach the current presenter.
 */
#ifndef KWUSER_PRESENTER_H
#define KWUSER_PRESENTER_H

#include "kwuser.h"

namespace kwuser {

/* Both are called without the lock and call the presenter without it. */
int presentDialog(HWND dialog);
int presentMessageBox(HWND owner, const char* text, const char* caption, UINT type);

/* The answer of a box that nobody can see: its Cancel, else its No, else OK. */
int unattendedAnswer(UINT type);
/* Whether the box has a button for the answer. */
bool boxOffers(UINT type, int answer);

}  // namespace kwuser

#endif
