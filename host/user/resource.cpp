/*
 * resource.cpp - module registration, string resources and dialog templates.
 *
 * A module (the driver at load time, a test, kwsh) registers its string table and dialog
 * templates and gets an HINSTANCE; LoadStringA and DialogBoxParamA look resources up through it.
 * The layer keeps only a pointer to the caller's tables, which must outlive the registration;
 * an instance names its tables until it is unregistered.
 */
#include <charconv>
#include <cstring>
#include <unordered_map>

#include "registry.h"
#include "resource.h"

namespace kwuser {
namespace {

std::unordered_map<uint16_t, const KwModuleResources*>& modules() {
    static std::unordered_map<uint16_t, const KwModuleResources*> table;
    return table;
}

const KwModuleResources* findModuleLocked(HINSTANCE module) {
    auto found = modules().find(handleNumber(module));
    return found == modules().end() ? nullptr : found->second;
}

/* Counts and tables must agree: a count without a table would be read through a null pointer. */
bool resourcesAreWellFormed(const KwModuleResources* resources) {
    if (resources == nullptr || resources->stringCount < 0 || resources->dialogCount < 0) {
        return false;
    }
    if ((resources->stringCount > 0 && resources->strings == nullptr) ||
        (resources->dialogCount > 0 && resources->dialogs == nullptr)) {
        return false;
    }
    for (int i = 0; i < resources->dialogCount; ++i) {
        const KwDialogTemplate& dialog = resources->dialogs[i];
        if (dialog.controlCount < 0 || (dialog.controlCount > 0 && dialog.controls == nullptr)) {
            return false;
        }
    }
    return true;
}

const char* findStringLocked(HINSTANCE module, UINT id) {
    const KwModuleResources* resources = findModuleLocked(module);
    if (resources == nullptr) {
        return nullptr;
    }
    for (int i = 0; i < resources->stringCount; ++i) {
        if (resources->strings[i].id == id) {
            return resources->strings[i].text;
        }
    }
    return nullptr;
}

}  // namespace

const KwDialogTemplate* findTemplateLocked(HINSTANCE module, int templateId) {
    const KwModuleResources* resources = findModuleLocked(module);
    if (resources == nullptr) {
        return nullptr;
    }
    for (int i = 0; i < resources->dialogCount; ++i) {
        if (resources->dialogs[i].id == templateId) {
            return &resources->dialogs[i];
        }
    }
    return nullptr;
}

int templateIdOfName(const char* name) {
    if (IS_INTRESOURCE(name)) {
        return LOWORD(name);
    }
    if (name[0] != '#') {
        return 0;
    }
    int id = 0;
    const char* end = name + std::strlen(name);
    auto [stop, error] = std::from_chars(name + 1, end, id);
    return error == std::errc() && stop == end && id > 0 && id < 65536 ? id : 0;
}

}  // namespace kwuser

using namespace kwuser;

KW_EXPORT HINSTANCE kwuser_registerModule(const KwModuleResources* resources) {
    return shielded<HINSTANCE>(nullptr, [&] {
        if (!resourcesAreWellFormed(resources)) {
            return static_cast<HINSTANCE>(nullptr);
        }
        Lock lock = lockState();
        uint16_t number = allocateHandle(HandleKind::Module);
        if (number != 0) {
            modules()[number] = resources;
        }
        return makeHandle<HINSTANCE>(number);
    });
}

KW_EXPORT void kwuser_unregisterModule(HINSTANCE module) {
    shieldedVoid([&] {
        Lock lock = lockState();
        if (modules().erase(handleNumber(module)) != 0) {
            releaseHandle(handleNumber(module));
        }
    });
}

KW_EXPORT const KwDialogTemplate* kwuser_findTemplate(HINSTANCE module, int templateId) {
    return shielded<const KwDialogTemplate*>(nullptr, [&] {
        Lock lock = lockState();
        return findTemplateLocked(module, templateId);
    });
}

/* Copies at most bufferMax - 1 characters and a NUL; answers the number copied, 0 (and an empty
 * buffer) for a string the module does not have. */
KW_EXPORT int LoadStringA(HINSTANCE module, UINT id, char* buffer, int bufferMax) {
    return shielded(0, [&] {
        if (buffer == nullptr || bufferMax <= 0) {
            return 0;
        }
        Lock lock = lockState();
        const char* text = findStringLocked(module, id);
        size_t length = text == nullptr ? 0 : std::strlen(text);
        size_t copied = std::min(length, static_cast<size_t>(bufferMax - 1));
        if (copied > 0) {
            std::memcpy(buffer, text, copied);
        }
        buffer[copied] = '\0';
        return static_cast<int>(copied);
    });
}
