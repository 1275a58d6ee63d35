/*
 * kwtypes.h - the basic types shared by the driver, the host libraries and their callers.
 *
 * The host interface was laid out for a 32-bit Windows host. These are the handful of Windows
 * and DB-Library names the records and service declarations need, declared so that every
 * record header compiles on its own, on ILP32 as well as LP64. USER handles are small integers
 * carried in pointer-typed handles (see kwuser.h).
 */
#ifndef KW_TYPES_H
#define KW_TYPES_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define KW_EXTERN_C extern "C"
#define KW_BEGIN_C extern "C" {
#define KW_END_C }
#else
#define KW_EXTERN_C
#define KW_BEGIN_C
#define KW_END_C
#endif

/* Marks a function as part of a library's exported interface; everything else is hidden. */
#define KW_EXPORT __attribute__((visibility("default")))
#define KW_API KW_EXTERN_C KW_EXPORT

/* DB-Library's connection handle (FreeTDS declares the same typedef in sybdb.h). */
typedef struct tds_dblib_dbprocess DBPROCESS;

/* Windows USER names used in records and declarations. */
typedef int BOOL;
typedef unsigned int UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef struct KwHwnd__* HWND;
typedef struct KwHinstance__* HINSTANCE;
typedef struct KwHmenu__* HMENU;
typedef struct KwHcursor__* HCURSOR;
typedef BOOL (*DLGPROC)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

/* Host handles: a memory context and a keyed set are opaque to the driver. */
typedef struct KwMemoryContext* KWCTX;
typedef struct KwKeyedSet* KWSET;

/* Key function of a keyed set: maps a record to its key text. */
typedef char* (*KwKeyFunction)(void* record);

#endif
