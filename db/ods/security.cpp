/*
 * security.cpp - the Table Security dialog and its GRANT / REVOKE statements.
 *
 * The dialog procedure is exported; its behaviour arrives with the security subsystem. Until then
 * it handles no message (answers FALSE).
 */
#include "internal.h"

BOOL TDX_SecurityBoxProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}
