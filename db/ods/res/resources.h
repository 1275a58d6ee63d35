/*
 * resources.h - the module's resources as data: string table and dialog templates.
 */
#ifndef TDX_RESOURCES_H
#define TDX_RESOURCES_H

#include "kwconst.h"
#include "kwuser.h"

extern const KwStringResource TDX_STRINGS[];
extern const int TDX_STRING_COUNT;
extern const KwDialogTemplate TDX_DIALOGS[];
extern const int TDX_DIALOG_COUNT;

/* Labels and other controls the driver never addresses. */
enum { IDC_STATIC = -1 };

#endif
