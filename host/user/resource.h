/*
 * resource.h - module resources as the rest of the USER layer reads them.
 */
#ifndef KWUSER_RESOURCE_H
#define KWUSER_RESOURCE_H

#include "kwuser.h"

namespace kwuser {

/* Lock held. The template `templateId` of a registered module, or null. */
const KwDialogTemplate* findTemplateLocked(HINSTANCE module, int templateId);

/* The template id a dialog template name stands for: MAKEINTRESOURCEA(id) or the text "#id";
 * 0 when the name names no id. */
int templateIdOfName(const char* name);

}  // namespace kwuser

#endif
