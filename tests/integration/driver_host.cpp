// driver_host.cpp - the integration tests' host: loading the driver, request blocks, fetching.
#include "driver_host.h"

#include <dlfcn.h>

#include <algorithm>
#include <stdexcept>

#include "values.h"

#ifndef KW_DRIVER_PATH
#error "KW_DRIVER_PATH must name the driver module"
#endif

namespace kwhosttest {

namespace {

// The driver's routing entry, loaded once per program.
KW_TDX_RoutFunction driverEntry() {
    static void* module = dlopen(KW_DRIVER_PATH, RTLD_NOW | RTLD_LOCAL);
    static auto* entry =
        reinterpret_cast<KW_TDX_RoutFunction>(module != nullptr ? dlsym(module, "KW_TDX_Rout") : nullptr);
    if (entry == nullptr) {
        throw std::runtime_error("cannot load KW_TDX_Rout from " KW_DRIVER_PATH);
    }
    return entry;
}

}  // namespace

Transaction::Transaction() : context_(kwhost_createContext("transaction")) {
    block_.memoryContext = context_;
}

Transaction::~Transaction() {
    if (block_.connection != nullptr) {
        disconnect();
    }
    for (char** field : {&block_.loginId, &block_.serverName, &block_.password, &block_.dbParm,
                         &block_.databaseName, &block_.currentUser}) {
        kwhost_setBlockText(&block_, field, nullptr);
    }
    kwshr_releaseBlockData(&block_);
    kwhost_destroyContext(context_);
}

int32_t Transaction::call(int32_t code) {
    block_.requestCode = code;
    driverEntry()(&block_);
    return block_.status;
}

void Transaction::setLogin(std::string server, const char* user, const char* password, const char* dbParm) {
    if (server.empty()) {
        server = kwtest::Environment::get().serverName();
    }
    kwhost_setBlockText(&block_, &block_.serverName, server.c_str());
    kwhost_setBlockText(&block_, &block_.loginId, user != nullptr ? user : kwtest::kJoe.name);
    kwhost_setBlockText(&block_, &block_.password, password != nullptr ? password : kwtest::kJoe.password);
    kwhost_setBlockText(&block_, &block_.dbParm, dbParm);
}

int32_t Transaction::execute(const std::string& sql) {
    sql_ = sql;
    block_.sqlText = sql_.data();
    const int32_t status = call(REQ_EXECUTE);
    block_.sqlText = nullptr;
    return status;
}

int32_t Transaction::prepare(const std::string& sql, int32_t inValue) {
    sql_ = sql;
    block_.sqlText = sql_.data();
    block_.inValue = inValue;
    return call(REQ_PREPARE);
}

std::vector<ColumnDescriptor*> Transaction::describe(int32_t inValue) {
    block_.inValue = inValue;
    call(REQ_DESCRIBE);
    std::vector<ColumnDescriptor*> out;
    const HostList* list = block_.resultColumns;
    for (HostListNode* node = list != nullptr ? list->first : nullptr; node != nullptr;
         node = node == list->last ? nullptr : node->next) {
        out.push_back(static_cast<ColumnDescriptor*>(node->data));
    }
    return out;
}

int64_t Transaction::liveAllocations() const {
    KwContextStats stats{};
    kwhost_contextStats(context_, &stats);
    return stats.liveAllocations;
}

std::string formatValue(int32_t hostType, const char* buffer, int32_t indicator) {
    return kwsh::formatValue(hostType, buffer, indicator).value_or("<null>");
}

BoundColumns bindColumns(Transaction& t, char fill) {
    BoundColumns bound;
    bound.columns = t.describe();
    if (t.block().status != KW_STATUS_OK || bound.columns.empty()) {
        return bound;
    }
    bound.buffers.resize(bound.columns.size());
    bound.indicators.assign(bound.columns.size(), 12345);
    for (size_t i = 0; i < bound.columns.size(); ++i) {
        ColumnDescriptor* d = bound.columns[i];
        bound.buffers[i].assign(static_cast<size_t>(std::max<int32_t>(d->length, 16)) + 16, fill);
        d->buffer = bound.buffers[i].data();
        d->indicator = &bound.indicators[i];
    }
    t.call(REQ_BIND);
    return bound;
}

std::vector<std::string> formatRow(const BoundColumns& bound) {
    std::vector<std::string> row;
    for (size_t i = 0; i < bound.columns.size(); ++i) {
        row.push_back(formatValue(bound.columns[i]->hostType, bound.buffers[i].data(), bound.indicators[i]));
    }
    return row;
}

FetchedSet fetchAll(Transaction& t) {
    FetchedSet set;
    BoundColumns bound = bindColumns(t);
    set.lastStatus = t.block().status;
    if (set.lastStatus != KW_STATUS_OK || bound.columns.empty()) {
        return set;
    }
    for (;;) {
        for (auto& buffer : bound.buffers) {
            std::fill(buffer.begin(), buffer.end(), '\0');
        }
        set.lastStatus = t.call(REQ_FETCH);
        if (set.lastStatus != KW_STATUS_OK && set.lastStatus != KW_STATUS_ROW_WITH_WARNING) {
            break;
        }
        set.rows.push_back(formatRow(bound));
    }
    for (ColumnDescriptor* d : bound.columns) {
        d->buffer = nullptr;
        d->indicator = nullptr;
    }
    return set;
}

}  // namespace kwhosttest
