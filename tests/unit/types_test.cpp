// types_test.cpp - the DB2 type table as the host asks it (requests 17, 37, 39, 252) and the type
// pickers (16, 12, 13) on real combo boxes of the USER layer, in a dialog of the test's own.
#include <functional>
#include <list>
#include <string>
#include <tuple>
#include <vector>

#include "driver_block.h"
#include "kwuser.h"

namespace {

enum { kPickerDialog = 900, kOtherCombo = 6602 };

const KwControlTemplate kPickerControls[] = {
    {"COMBOBOX", 6601, "", WS_TABSTOP | CBS_DROPDOWNLIST, 8, 8, 80, 60},
    {"COMBOBOX", 6111, "", WS_TABSTOP | CBS_DROPDOWNLIST, 8, 24, 80, 60},
    {"COMBOBOX", kOtherCombo, "", WS_TABSTOP | CBS_DROPDOWNLIST, 8, 40, 80, 60},
    {"BUTTON", IDCANCEL, "Cancel", WS_TABSTOP | BS_PUSHBUTTON, 8, 60, 44, 14},
};
const KwDialogTemplate kPickerTemplate = {kPickerDialog, "Types", "MS Sans Serif", 8,
                                          120,           80,      kPickerControls, 4};
const KwModuleResources kPickerModule = {"TYPESTEST", nullptr, 0, &kPickerTemplate, 1};

BOOL endOnCancel(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

class TypesTest : public DriverBlockTest {
  protected:
    // The host's picker argument: the dialog in the high 16 bits, the control id in the low 16.
    void pick(HWND dialog, int control) {
        block.arg = reinterpret_cast<void*>((reinterpret_cast<uintptr_t>(dialog) << 16) | uintptr_t(control));
    }
    std::vector<std::string> itemsOf(HWND dialog, int control) {
        HWND combo = GetDlgItem(dialog, control);
        std::vector<std::string> out;
        for (LRESULT i = 0; i < SendMessageA(combo, CB_GETCOUNT, 0, 0); ++i) {
            char text[64] = {};
            SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            out.push_back(text);
        }
        return out;
    }
    // Runs `check` inside the picker dialog, then cancels it.
    void withinPickers(std::function<void(HWND)> check) {
        HINSTANCE module = kwuser_registerModule(&kPickerModule);
        kwuser_useScriptedPresenter();
        kwuser_scriptReset();
        checks.push_back(std::move(check));
        kwuser_scriptInspect([](HWND d, void* f) { (*static_cast<std::function<void(HWND)>*>(f))(d); },
                             &checks.back());
        kwuser_scriptClick(IDCANCEL);
        DialogBoxParamA(module, MAKEINTRESOURCEA(kPickerDialog), nullptr, endOnCancel, 0);
        EXPECT_EQ(kwuser_scriptPendingActions(), 0) << "the check ran";
        kwuser_setPresenter(nullptr);
        kwuser_unregisterModule(module);
    }
    std::list<std::function<void(HWND)>> checks;
};

TEST_F(TypesTest, LengthAndHostTypeLookupsAnswerTheTypesRowAndZeroOutsideTheTable) {
    // code, maximum length, host type, default length
    const std::tuple<int32_t, int32_t, int32_t, int32_t> rows[] = {
        {0, 0, 0, 0},  {1, 254, 1, 10}, {2, 4046, 2, 10}, {3, 0, 5, 0},       {4, 0, 6, 0},
        {5, 0, 3, 0},  {6, 0, 14, 0},   {7, 15, 4, 5},    {8, 0, 7, 0},       {9, 0, 8, 0},
        {10, 0, 9, 0}, {11, 0, 0, 0},   {-1, 0, 0, 0},    {11 + 10, 0, 0, 0},
    };
    for (auto [code, maxLength, hostType, defaultLength] : rows) {
        SCOPED_TRACE("type " + std::to_string(code));
        const std::pair<int32_t, int32_t> asked[] = {{REQ_TYPE_MAX_LENGTH, maxLength},
                                                     {REQ_TYPE_HOST_TYPE, hostType},
                                                     {REQ_TYPE_DEFAULT_LENGTH, defaultLength}};
        for (auto [request, expected] : asked) {
            block.result = 99;
            block.inValue = code;
            route(request);
            EXPECT_EQ(+block.result, expected) << "request " << request;
            EXPECT_EQ(+block.status, 0);
        }
    }
}

TEST_F(TypesTest, CatalogColumnTypesAreMatchedExactlyAndAnUnknownOneIsTypeZero) {
    const std::pair<const char*, int32_t> names[] = {{"CHAR", DB2_CHAR},       {"VARCHAR", DB2_VARCHAR},
                                                     {"INTEGER", DB2_INTEGER}, {"SMALLINT", DB2_SMALLINT},
                                                     {"FLOAT", DB2_FLOAT},     {"LONGVAR", DB2_LONG_VARCHAR},
                                                     {"DECIMAL", DB2_DECIMAL}, {"DATE", DB2_DATE},
                                                     {"TIME", DB2_TIME},       {"TIMESTMP", DB2_TIMESTAMP}};
    for (auto [name, type] : names) {
        EXPECT_EQ(TDX_TypeOfColType(name), type) << name;
    }
    // Not catalog names: the type names, other case, other types, a prefix.
    for (const char* name : {"TIMESTAMP", "LONG VARCHAR", "char", "BLOB", "", "CHA"}) {
        EXPECT_EQ(TDX_TypeOfColType(name), 0) << name;
    }
}

TEST_F(TypesTest, TypeDescriptorsListTheTenTypesInOrderWithDecimalAloneHavingAScale) {
    route(REQ_TYPE_DESCRIPTORS);
    auto* list = reinterpret_cast<HostList*>(block.result);
    ASSERT_NE(list, nullptr);
    using Row = std::tuple<std::string, int32_t, int32_t, int32_t, int32_t>;
    const Row expected[] = {
        {"CHAR", 1, 1, 1, 0},       {"VARCHAR", 2, 2, 1, 0}, {"INTEGER", 3, 5, 0, 0},
        {"SMALLINT", 4, 6, 0, 0},   {"FLOAT", 5, 3, 0, 0},   {"LONG VARCHAR", 6, 14, 0, 0},
        {"DECIMAL", 7, 4, 1, 1},    {"DATE", 8, 7, 0, 0},    {"TIME", 9, 8, 0, 0},
        {"TIMESTAMP", 10, 9, 0, 0},
    };
    std::vector<Row> got;
    for (auto* d = static_cast<TypeDescriptor*>(kwshr_firstListItem(list)); d != nullptr;
         d = static_cast<TypeDescriptor*>(kwshr_nextListItem(list))) {
        got.emplace_back(d->name, +d->typeCode, +d->hostType, +d->hasLength, +d->hasScale);
    }
    EXPECT_EQ(got, std::vector<Row>(std::begin(expected), std::end(expected)));
    kwshr_freeResultList(context, list);

    // Without memory at any step: no list, a message, nothing left behind.
    for (int64_t n = 1; n <= 21; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n) + " fails");
        kwhost_failAllocation(context, n);
        route(REQ_TYPE_DESCRIPTORS);
        kwhost_failAllocation(context, 0);
        EXPECT_EQ(+block.result, 0);
        EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
        EXPECT_EQ(message(), "The host could not provide the memory this request needs.");
    }
}

TEST_F(TypesTest, PickersFillSelectAndReadTheTypeComboBoxesOnly) {
    withinPickers([this](HWND dialog) {
        const std::vector<std::string> lowerNames = {"char",  "varchar",      "int",     "smallint",
                                                     "float", "long varchar", "decimal", "date",
                                                     "time",  "timestamp"};
        for (int control : {6601, 6111}) {
            SCOPED_TRACE("control " + std::to_string(control));
            pick(dialog, control);
            route(REQ_FILL_TYPE_COMBO);
            EXPECT_EQ(itemsOf(dialog, control), lowerNames);
            for (int32_t type = 1; type <= 10; ++type) {
                block.inValue = type;
                route(REQ_SELECT_TYPE_IN_COMBO);
                EXPECT_EQ(SendMessageA(GetDlgItem(dialog, control), CB_GETCURSEL, 0, 0), type - 1);
                block.result = 99;
                route(REQ_READ_TYPE_FROM_COMBO);
                EXPECT_EQ(+block.result, type);
            }
            // A code outside the table selects nothing new.
            for (int32_t outside : {0, 11, -3}) {
                block.inValue = outside;
                route(REQ_SELECT_TYPE_IN_COMBO);
                EXPECT_EQ(SendMessageA(GetDlgItem(dialog, control), CB_GETCURSEL, 0, 0), 9) << outside;
            }
        }
        // A combo box that is not a type picker is left alone.
        pick(dialog, kOtherCombo);
        route(REQ_FILL_TYPE_COMBO);
        EXPECT_TRUE(itemsOf(dialog, kOtherCombo).empty());
        HWND other = GetDlgItem(dialog, kOtherCombo);
        SendMessageA(other, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("decimal"));
        SendMessageA(other, CB_SETCURSEL, 0, 0);
        block.result = 99;
        route(REQ_READ_TYPE_FROM_COMBO);
        EXPECT_EQ(+block.result, 0);

        // A selected text that differs from a type name only in case is no type.
        HWND picker = GetDlgItem(dialog, 6601);
        SendMessageA(picker, CB_RESETCONTENT, 0, 0);
        SendMessageA(picker, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Decimal"));
        SendMessageA(picker, CB_SETCURSEL, 0, 0);
        pick(dialog, 6601);
        route(REQ_READ_TYPE_FROM_COMBO);
        EXPECT_EQ(+block.result, 0);
        // Nothing selected: no type.
        SendMessageA(picker, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        route(REQ_READ_TYPE_FROM_COMBO);
        EXPECT_EQ(+block.result, 0);
        EXPECT_EQ(+block.status, 0);
    });
}

}  // namespace
