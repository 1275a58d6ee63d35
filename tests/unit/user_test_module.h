/*
 * user_test_module.h - a module of the USER layer's tests: its own strings and dialog templates,
 * a dialog procedure that records what it receives, and the fixture that registers the module.
 */
#ifndef KWUSER_TEST_MODULE_H
#define KWUSER_TEST_MODULE_H

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "kwuser.h"

namespace usertest {

enum {
    kSignOn = 200, /* banner, server / user / password edits, OK (default, starts disabled), Cancel */
    kRights = 300, /* grantee edit, four check boxes of each style, three lists, two combos, Done, Cancel */
    kNote = 400,   /* a prompt, one edit and OK only: no Cancel button */
    kBroken = 500, /* names a window class the layer does not have */
};

/* Control ids, and the styles that matter. */
enum {
    kBanner = 100,
    kServer = 10,
    kUser = 11,
    kPassword = 12,
    kGrantee = 24,
    kRead3State = 20,      /* BS_3STATE */
    kWriteAuto3State = 21, /* BS_AUTO3STATE */
    kGrantCheck = 22,      /* BS_CHECKBOX */
    kAuditAutoCheck = 23,  /* BS_AUTOCHECKBOX */
    kPrivileges = 25,      /* the group box */
    kTables = 30,          /* LBS_SORT | LBS_NOTIFY */
    kColumns = 31,         /* LBS_SORT | LBS_MULTIPLESEL | LBS_NOTIFY */
    kPlainList = 32,       /* no LBS_NOTIFY, unsorted */
    kTypes = 40,           /* CBS_DROPDOWNLIST */
    kSortedTypes = 41,     /* CBS_DROPDOWNLIST | CBS_SORT */
    kNoteEdit = 50,
};

/* String ids. */
enum { kHello = 1, kEmpty = 2, kBannerText = 7, kLong = 8 };

/* WM_COMMAND as (control id, notification code, control handle). */
struct Command {
    int id;
    int code;
    HWND control;
    bool operator==(const Command&) const = default;
};

/* What the recording procedure saw; `handler` runs after recording and gives the answer (null:
 * FALSE). */
struct Recorder {
    struct Received {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<Received> received;
    std::function<BOOL(HWND, UINT, WPARAM, LPARAM)> handler;
    std::vector<Command> commands() const;
    void clear() { *this = {}; }
};
Recorder& recorder();

BOOL recordingProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
/* OK ends the dialog with 1, Cancel with 2. */
BOOL endOnButtons(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
/* The sign-on rules: the user name is limited to 8 characters, and OK is enabled only while
 * server, user and password are all filled in. */
void applySignOnRules(HWND dialog, UINT message, WPARAM wParam);

/* Queues a scripted inspection that runs `check` with the dialog at that point. */
void inspect(std::function<void(HWND)> check);
std::string windowText(HWND window);
/* LB_ADDSTRING, or CB_ADDSTRING for the combo boxes. */
void addItems(HWND dialog, int id, std::initializer_list<const char*> texts);

/* Registers the module and selects the scripted presenter with an empty script; puts everything
 * back afterwards. */
class UserTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    intptr_t run(int templateId, LPARAM parameter = 0, HWND owner = nullptr);
    /* Runs the script so far and then `check` in an open dialog, then cancels it (the procedure
     * ends on the buttons unless a handler is set). */
    void within(int templateId, std::function<void(HWND)> check);

    HINSTANCE module_ = nullptr;
};

}  // namespace usertest

#endif
