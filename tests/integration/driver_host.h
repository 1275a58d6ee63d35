// driver_host.h - a host for the driver's integration tests: it loads libkwtdx050.so with dlopen,
// as the 4GL host does, keeps one request block per connection over a memory context of its own
// (so a test can prove the driver left nothing behind) and reads the answers. Server-side set-up
// and checks go through the test environment's superuser connection, never through the driver.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "kwconst.h"
#include "kwdbt.h"
#include "kwshr.h"
#include "kwtdx.h"
#include "kwtest/environment.h"

namespace kwhosttest {

// One host transaction: a request block over its own memory context.
class Transaction {
  public:
    Transaction();
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    RequestBlock& block() { return block_; }

    // Calls the driver with a request code; answers the block's status.
    int32_t call(int32_t code);
    // Sets the block's login texts: by default the standard gateway and the standard user JOE.
    void setLogin(std::string server = "", const char* user = nullptr, const char* password = nullptr,
                  const char* dbParm = nullptr);
    // Request 35 as JOE, by default on the standard gateway.
    int32_t connect(const std::string& server = "", const char* dbParm = nullptr) {
        setLogin(server, nullptr, nullptr, dbParm);
        return call(REQ_CONNECT);
    }
    int32_t disconnect() { return call(REQ_DISCONNECT); }
    // Request 5 with the statement; prepare: request 21 with the statement (which stays in the
    // block, as the describe of a compile-only prepare needs it) and inValue.
    int32_t execute(const std::string& sql);
    int32_t prepare(const std::string& sql, int32_t inValue);
    // Request 22 (inValue 1: of a result set, 0: of a compile-only prepare); its status stays in
    // the block. Answers the result-column descriptors.
    std::vector<ColumnDescriptor*> describe(int32_t inValue = 1);

    std::string message() const { return block_.message; }
    int64_t liveAllocations() const;

  private:
    std::string sql_;
    KWCTX context_ = nullptr;
    RequestBlock block_{};
};

// A fetched value as text: decimals as digits with their scale, dates and times in DB2's forms
// (yyyy-mm-dd, hh.mm.ss, yyyy-mm-dd-hh.mm.ss.nnnnnn), numbers plainly, a NULL (indicator -1) as
// "<null>". The forms are kwsh's, whose own tests pin them.
std::string formatValue(int32_t hostType, const char* buffer, int32_t indicator);

// The current result set described (request 22) and bound (request 25) to buffers filled with
// `fill`; the status of the last request stays in the block.
struct BoundColumns {
    std::vector<ColumnDescriptor*> columns;
    std::vector<std::vector<char>> buffers;
    std::vector<int32_t> indicators;
};
BoundColumns bindColumns(Transaction& t, char fill = '\0');
// The values the last fetch (request 23) left in the bound buffers, formatted.
std::vector<std::string> formatRow(const BoundColumns& bound);

// Every row of the current result set fetched (request 23), each value formatted.
struct FetchedSet {
    std::vector<std::vector<std::string>> rows;
    int32_t lastStatus = 0;
};
FetchedSet fetchAll(Transaction& t);

// The single value of a one-row, one-column query, or "" when the statement failed.
inline std::string value(Transaction& t, const std::string& sql) {
    if (t.execute(sql) != KW_STATUS_OK) {
        return "";
    }
    const FetchedSet set = fetchAll(t);
    return set.rows.size() == 1 && set.rows[0].size() == 1 ? set.rows[0][0] : "";
}

// The first `count` key columns of a packed record, read without assuming their alignment.
inline std::vector<int32_t> keyList(const void* columns, int32_t count) {
    std::vector<int32_t> out(static_cast<size_t>(std::clamp(count, 0, 20)));
    std::memcpy(out.data(), columns, out.size() * sizeof(int32_t));
    return out;
}

/* The records of a list a request answered with (result holds the list), in order. */
template <typename T>
std::vector<T*> items(intptr_t result) {
    std::vector<T*> out;
    auto* list = reinterpret_cast<HostList*>(result);
    for (HostListNode* node = list != nullptr ? list->first : nullptr; node != nullptr; node = node->next) {
        out.push_back(static_cast<T*>(node->data));
    }
    return out;
}

}  // namespace kwhosttest
