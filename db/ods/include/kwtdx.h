/*
 * kwtdx.h - the exports of the driver module KWTDX050 (libkwtdx050.so), as a host sees them.
 *
 * A host fills a RequestBlock and calls KW_TDX_Rout for every database action; the answers are
 * in the block. The dialog procedures may also be shown by the host itself.
 */
#ifndef KW_TDX_H
#define KW_TDX_H

#include "kwrecords.h"

KW_BEGIN_C

KW_EXPORT int32_t KW_TDX_Rout(RequestBlock* block);
KW_EXPORT void WEP(int32_t reserved);
KW_EXPORT char* TDX_FKListHashString(void* record);

KW_EXPORT BOOL TDX_LoginProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
KW_EXPORT BOOL TDX_SystemOwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
KW_EXPORT BOOL TDX_KWCatalogOwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
KW_EXPORT BOOL TDX_TableSpaceProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
KW_EXPORT BOOL TDX_DatabaseProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
KW_EXPORT BOOL TDX_StoredRequestProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
KW_EXPORT BOOL TDX_SecurityBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

/* Function types for hosts that load the module with dlopen. */
typedef int32_t (*KW_TDX_RoutFunction)(RequestBlock* block);

KW_END_C

#endif
