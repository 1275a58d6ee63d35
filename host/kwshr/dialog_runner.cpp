/*
 * dialog_runner.cpp - the dialog runner and the host's block data: kwshr_dialogBox runs a driver
 * dialog modally through the USER layer, kwshr_prepareDialog is the host's last touch on a dialog
 * before it is shown, kwshr_releaseBlockData frees the result-column list attached to a block and
 * kwhost_setBlockText replaces one of a block's texts. It owns nothing; everything it frees is an
 * allocation of the block's context.
 */
#include <cstring>

#include "internal.h"
#include "kwuser.h"

extern "C" {

intptr_t kwshr_dialogBox(HINSTANCE module, int32_t templateId, HWND owner, DLGPROC procedure,
                         LPARAM parameter) {
    return DialogBoxParamA(module, MAKEINTRESOURCEA(templateId), owner, procedure, parameter);
}

/* A host with a screen would place and style the dialog here. This host has no screen of its own
 * (the USER layer's presenter shows dialogs), so the only thing left to do is to check that the
 * driver handed over a live window; anything else is traced. */
void kwshr_prepareDialog(HWND dialog) {
    if (!IsWindow(dialog)) {
        shr::traceLine("kwshr_prepareDialog: not a window");
    }
}

void kwshr_releaseBlockData(RequestBlock* block) {
    if (block == nullptr || block->resultColumns == nullptr) {
        return;
    }
    KWCTX ctx = block->memoryContext;
    for (HostListNode* node = block->resultColumns->first; node != nullptr; node = node->next) {
        auto* column = static_cast<ColumnDescriptor*>(node->data);
        if (column != nullptr) {
            kwshr_free(ctx, column->name);
            kwshr_free(ctx, column);
        }
    }
    kwshr_destroyList(block->resultColumns);
    block->resultColumns = nullptr;
}

void kwhost_setBlockText(RequestBlock* block, char** field, const char* text) {
    if (block == nullptr || field == nullptr) {
        return;
    }
    char* copy = nullptr;
    if (text != nullptr) {
        copy = kwshr_duplicateString(block->memoryContext, text, block->allocFlags);
        if (copy == nullptr) {
            shr::traceLine("kwhost_setBlockText: out of memory; the old text stays");
            return;
        }
    }
    // `field` points into the packed block, so it may not be aligned for a pointer: copy bytes.
    char* old = nullptr;
    std::memcpy(&old, field, sizeof old);
    shr::freeIfOwned(block->memoryContext, old);
    std::memcpy(field, &copy, sizeof copy);
}

}  // extern "C"
