/*
 * module.cpp - loading and unloading of the driver module.
 *
 * Loading registers the module's resources with the USER layer (which gives moduleInstance, the
 * handle of every string load and dialog) and, once per process, starts the host's
 * database-interface toolkit. Unloading calls no host service: the host disconnects every
 * transaction before it unloads the driver. It only withdraws the resources, which live in the
 * module's image and would otherwise be left behind dangling.
 */
#include "internal.h"
#include "res/resources.h"

HINSTANCE moduleInstance = nullptr;
int32_t firstAttach = 1;

namespace {

KwModuleResources moduleResources;

__attribute__((constructor)) void TDX_ProcessAttach() {
    moduleResources = {"KWTDX050", TDX_STRINGS, TDX_STRING_COUNT, TDX_DIALOGS, TDX_DIALOG_COUNT};
    moduleInstance = kwuser_registerModule(&moduleResources);
    if (firstAttach == 1) {
        firstAttach = 0;
        kwdbt_processAttach();
    }
}

__attribute__((destructor)) void TDX_ProcessDetach() {
    if (moduleInstance != nullptr) {
        kwuser_unregisterModule(moduleInstance);
        moduleInstance = nullptr;
    }
}

}  // namespace

/* The module's exit procedure; there is nothing to do. */
void WEP(int32_t) {}
