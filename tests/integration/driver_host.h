// driver_host.h - a host for the driver's integration tests: it loads libkwtdx050.so with dlopen,
// as the 4GL host does, keeps one request block per connection and reads the answers.
//
// Every block has a memory context of its own; at the end a test can prove that nothing the
// driver allocated for the block is left. Server-side set-up and checks go through the test
// environment's superuser connection, never through the driver.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kwconst.h"
#include "kwdbt.h"
#include "kwshr.h"
#include "kwtdx.h"
#include "kwtest/environment.h"

namespace kwhosttest {

// The driver's routing entry, loaded once per program.
KW_TDX_RoutFunction driverEntry();

// One host transaction: a request block over its own memory context.
class Transaction {
  public:
    explicit Transaction(const char* name = "transaction");
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    RequestBlock& block() { return block_; }
    KWCTX context() const { return context_; }

    // Calls the driver with a request code; answers the block's status.
    int32_t call(int32_t code);
    // Request 35 with these values (null leaves a field unset).
    int32_t connect(const std::string& server, const char* user, const char* password,
                    const char* dbParm = nullptr);
    // Request 35 as the standard test user JOE on the standard gateway.
    int32_t connectAsJoe(const char* dbParm = nullptr);
    int32_t disconnect();
    // Request 5 with the statement.
    int32_t execute(const std::string& sql);
    // Sets one of the block's texts (a copy in the block's context).
    void setText(char** field, const char* text);

    std::string message() const { return block_.message; }
    int64_t liveAllocations() const;

  private:
    std::string sql_;
    KWCTX context_ = nullptr;
    RequestBlock block_{};
};

// The rows of a result set read through requests 22, 25 and 23, each value as text.
struct FetchedColumn {
    std::string name;
    int32_t db2Type, hostType, length, precision, scale;
};
struct FetchedSet {
    std::vector<FetchedColumn> columns;
    std::vector<std::vector<std::string>> rows;  // NULL as "<null>"
    int32_t lastStatus = 0;
};

// Describes the current result set (request 22 with inValue 1), binds it (25) and fetches every row
// (23), formatting each converted value: decimals as digits with their scale, dates and times in
// DB2's forms, numbers plainly.
FetchedSet fetchAll(Transaction& t);

// The descriptors of the block's result-column list, in order.
std::vector<ColumnDescriptor*> descriptors(RequestBlock& block);

// The decimal value as text ("-1234.56").
std::string formatDecimal(const HostDecimal& value);
// A DateTimeValue in DB2's forms (yyyy-mm-dd, hh.mm.ss, yyyy-mm-dd-hh.mm.ss.nnnnnn).
std::string formatDateTime(const DateTimeValue& value);

}  // namespace kwhosttest
