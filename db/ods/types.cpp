/*
 * types.cpp - the DB2 column types: the type table and the host's type pickers.
 *
 * Serves requests 17, 37 and 39 (maximum length, host type and default length of a DB2 type),
 * 16, 12 and 13 (fill, select and read a type combo box of the host's painters) and 252 (the
 * type descriptors of the host's pickers). Owns TYPE_TABLE, which ties each DB2 type code to its
 * string ids, its catalog COLTYPE, its host type and its lengths, and TYPE_COMBO_CONTROLS, the
 * only combo boxes the pickers act on. A code outside the table answers 0, never a neighbour's row.
 */
#include <cstring>

#include "internal.h"

/* Searched in this order; the DB2 type code is also the string id of the upper-case name. */
constexpr TypeRow TYPE_TABLE[DB2_TYPE_COUNT] = {
    {11, DB2_CHAR, HOST_CHAR, 254, 10},     {12, DB2_VARCHAR, HOST_VARCHAR, 4046, 10},
    {13, DB2_INTEGER, HOST_INTEGER, 0, 0},  {14, DB2_SMALLINT, HOST_SMALLINT, 0, 0},
    {15, DB2_FLOAT, HOST_DOUBLE, 0, 0},     {16, DB2_LONG_VARCHAR, HOST_LONG_TEXT, 0, 0},
    {17, DB2_DECIMAL, HOST_DECIMAL, 15, 5}, {18, DB2_DATE, HOST_DATE, 0, 0},
    {19, DB2_TIME, HOST_TIME, 0, 0},        {20, DB2_TIMESTAMP, HOST_DATETIME, 0, 0},
};

namespace {

constexpr bool typeTableIsConsistent() {
    for (int32_t i = 0; i < DB2_TYPE_COUNT; ++i) {
        const TypeRow& row = TYPE_TABLE[i];
        if (row.db2Type != i + 1 || row.lowerNameId != row.db2Type + IDS_TYPE_NAME_LOWER_FIRST - 1) {
            return false;
        }
    }
    return true;
}
static_assert(typeTableIsConsistent(),
              "row n of the type table is DB2 type n with lower-case name id n + 10");

struct ColTypeName {
    const char* colType;
    int32_t db2Type;
};

/* The catalog's COLTYPE values, in the order they are compared. */
const ColTypeName kColTypes[] = {
    {"INTEGER", DB2_INTEGER}, {"SMALLINT", DB2_SMALLINT},    {"FLOAT", DB2_FLOAT},     {"CHAR", DB2_CHAR},
    {"VARCHAR", DB2_VARCHAR}, {"LONGVAR", DB2_LONG_VARCHAR}, {"DECIMAL", DB2_DECIMAL}, {"DATE", DB2_DATE},
    {"TIME", DB2_TIME},       {"TIMESTMP", DB2_TIMESTAMP},
};
static_assert(sizeof kColTypes / sizeof kColTypes[0] == DB2_TYPE_COUNT, "every type has its COLTYPE");

/* The type combo boxes of the host's painters: the types and names they offer, by control. */
struct TypeComboControl {
    int32_t firstType, lastType, firstNameId, lastNameId, controlId;
};
const TypeComboControl TYPE_COMBO_CONTROLS[] = {
    {1, 10, 11, 20, 6601}, {1, 10, 11, 20, 6606}, {1, 10, 11, 20, 6611},
    {1, 10, 11, 20, 6616}, {1, 10, 11, 20, 6621}, {1, 10, 11, 20, 6626},
    {1, 10, 11, 20, 6631}, {1, 10, 11, 20, 6636}, {1, 10, 11, 20, 6111},
};
static_assert(sizeof TYPE_COMBO_CONTROLS / sizeof TYPE_COMBO_CONTROLS[0] == 9);

/* Buffers of the type names, as the pickers load them. */
enum { PICKER_NAME_SIZE = 39, PICKER_COMPARE_SIZE = 49, DESCRIPTOR_NAME_SIZE = 19 };

/* The type combo box that `arg` names (window in the high 16 bits, control id in the low 16),
 * or null when the control is not one of the type combo boxes. */
HWND TDX_TypeCombo(const RequestBlock* block, const TypeComboControl** control) {
    const auto packed = reinterpret_cast<uintptr_t>(block->arg);
    const int controlId = static_cast<int>(packed & 0xFFFF);
    const auto window = reinterpret_cast<HWND>((packed >> 16) & 0xFFFF);
    for (const TypeComboControl& row : TYPE_COMBO_CONTROLS) {
        if (row.controlId == controlId) {
            *control = &row;
            return GetDlgItem(window, controlId);
        }
    }
    return nullptr;
}

}  // namespace

const TypeRow* TDX_TypeRow(int32_t db2Type) {
    for (const TypeRow& row : TYPE_TABLE) {
        if (row.db2Type == db2Type) {
            return &row;
        }
    }
    return nullptr;
}

int32_t TDX_TypeOfColType(const char* colType) {
    for (const ColTypeName& name : kColTypes) {
        if (std::strcmp(colType, name.colType) == 0) {
            return name.db2Type;
        }
    }
    return 0;
}

void TDX_TypeMaxLength(RequestBlock* block) {
    const TypeRow* row = TDX_TypeRow(block->inValue);
    block->result = row != nullptr ? row->maxLength : 0;
}

void TDX_TypeHostType(RequestBlock* block) {
    const TypeRow* row = TDX_TypeRow(block->inValue);
    block->result = row != nullptr ? row->hostType : 0;
}

void TDX_TypeDefaultLength(RequestBlock* block) {
    const TypeRow* row = TDX_TypeRow(block->inValue);
    block->result = row != nullptr ? row->defaultLength : 0;
}

/* Request 16: the lower-case names, in type order. */
void TDX_FillTypeCombo(RequestBlock* block) {
    const TypeComboControl* control = nullptr;
    HWND combo = TDX_TypeCombo(block, &control);
    if (combo == nullptr) {
        return;
    }
    for (int32_t id = control->firstNameId; id <= control->lastNameId; ++id) {
        char name[PICKER_NAME_SIZE] = {};
        LoadStringA(moduleInstance, static_cast<UINT>(id), name, sizeof name);
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
}

/* Request 12: selects the name of DB2 type `inValue`; any other value selects nothing. */
void TDX_SelectTypeInCombo(RequestBlock* block) {
    const TypeComboControl* control = nullptr;
    HWND combo = TDX_TypeCombo(block, &control);
    if (combo == nullptr || block->inValue < control->firstType || block->inValue > control->lastType) {
        return;
    }
    char name[PICKER_NAME_SIZE] = {};
    const int32_t id = block->inValue + control->firstNameId - control->firstType;
    LoadStringA(moduleInstance, static_cast<UINT>(id), name, sizeof name);
    const LRESULT index =
        SendMessageA(combo, CB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name));
    if (index != CB_ERR) {
        SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
}

/* Request 13: the DB2 type whose lower-case name is selected, compared exactly; else 0. */
void TDX_ReadTypeFromCombo(RequestBlock* block) {
    block->result = 0;
    const TypeComboControl* control = nullptr;
    HWND combo = TDX_TypeCombo(block, &control);
    if (combo == nullptr) {
        return;
    }
    const LRESULT index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) {
        return;
    }
    char selected[PICKER_COMPARE_SIZE] = {};
    const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0 || length >= static_cast<LRESULT>(sizeof selected)) {
        return; /* longer than every type name: none of them */
    }
    SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(selected));
    for (int32_t id = control->firstNameId; id <= control->lastNameId; ++id) {
        char name[PICKER_COMPARE_SIZE] = {};
        LoadStringA(moduleInstance, static_cast<UINT>(id), name, sizeof name);
        if (std::strcmp(selected, name) == 0) {
            block->result = id - control->firstNameId + control->firstType;
            return;
        }
    }
}

/* Request 252: one descriptor per type, in type-table order; the host owns the list after. */
void TDX_TypeDescriptors(RequestBlock* block) {
    block->result = 0;
    HostList* list = kwshr_createList(block->memoryContext, 0);
    if (list == nullptr) {
        TDX_ReportNoMemory(block);
        return;
    }
    for (const TypeRow& row : TYPE_TABLE) {
        auto* descriptor = static_cast<TypeDescriptor*>(
            kwshr_allocate(block->memoryContext, sizeof(TypeDescriptor), block->allocFlags));
        if (descriptor == nullptr) {
            kwshr_freeResultList(block->memoryContext, list);
            TDX_ReportNoMemory(block);
            return;
        }
        std::memset(descriptor, 0, sizeof *descriptor);
        LoadStringA(moduleInstance, static_cast<UINT>(row.db2Type), descriptor->name, DESCRIPTOR_NAME_SIZE);
        descriptor->typeCode = row.db2Type;
        descriptor->hostType = row.hostType;
        descriptor->hasLength = row.defaultLength != 0 ? 1 : 0;
        descriptor->hasScale = row.hostType == HOST_DECIMAL ? 1 : 0;
        if (kwshr_appendToList(list, descriptor) == 0) {
            kwshr_free(block->memoryContext, descriptor);
            kwshr_freeResultList(block->memoryContext, list);
            TDX_ReportNoMemory(block);
            return;
        }
    }
    block->result = reinterpret_cast<intptr_t>(list);
}
