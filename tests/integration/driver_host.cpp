// driver_host.cpp - the integration tests' host: loading the driver, request blocks, fetching.
#include "driver_host.h"

#include <dlfcn.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <stdexcept>

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

std::string formatDecimal(const HostDecimal& value) {
    unsigned __int128 mantissa = (static_cast<unsigned __int128>(value.high) << 64) | value.low;
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(mantissa % 10)));
        mantissa /= 10;
    } while (mantissa != 0);
    const size_t scale = value.scale;
    if (digits.size() <= scale) {
        digits.insert(0, scale + 1 - digits.size(), '0');
    }
    if (scale > 0) {
        digits.insert(digits.end() - static_cast<std::ptrdiff_t>(scale), '.');
    }
    return (value.sign & KW_DECIMAL_NEGATIVE ? "-" : "") + digits;
}

std::string formatDateTime(const DateTimeValue& v) {
    char text[64] = {};
    const unsigned month = v.month + 1u, day = v.day, hour = v.hour, minute = v.minute, second = v.second;
    if (v.year == KW_NO_DATE_PART) {
        std::snprintf(text, sizeof text, "%02u.%02u.%02u", hour, minute, second);
    } else if (v.hour == KW_NO_TIME_PART) {
        std::snprintf(text, sizeof text, "%04d-%02u-%02u", v.year + 1900, month, day);
    } else {
        std::snprintf(text, sizeof text, "%04d-%02u-%02u-%02u.%02u.%02u.%06" PRIu32, v.year + 1900, month,
                      day, hour, minute, second, static_cast<uint32_t>(v.microseconds));
    }
    return text;
}

std::vector<ColumnDescriptor*> descriptors(RequestBlock& block) {
    std::vector<ColumnDescriptor*> out;
    HostList* list = block.resultColumns;
    for (HostListNode* node = list != nullptr ? list->first : nullptr; node != nullptr; node = node->next) {
        out.push_back(static_cast<ColumnDescriptor*>(node->data));
        if (node == list->last) {
            break;
        }
    }
    return out;
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
    return descriptors(block_);
}

int64_t Transaction::liveAllocations() const {
    KwContextStats stats{};
    kwhost_contextStats(context_, &stats);
    return stats.liveAllocations;
}

std::string formatValue(int32_t hostType, const char* buffer) {
    switch (hostType) {
        case HOST_DECIMAL:
            return formatDecimal(load<HostDecimal>(buffer));
        case HOST_DATE:
        case HOST_TIME:
        case HOST_DATETIME:
            return formatDateTime(load<DateTimeValue>(buffer));
        case HOST_INTEGER:
            return std::to_string(load<int32_t>(buffer));
        case HOST_SMALLINT:
            return std::to_string(load<int16_t>(buffer));
        case HOST_DOUBLE: {
            char text[64];
            std::snprintf(text, sizeof text, "%g", load<double>(buffer));
            return text;
        }
        default:
            return buffer;
    }
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
        std::vector<std::string> row;
        for (size_t i = 0; i < bound.columns.size(); ++i) {
            row.push_back(bound.indicators[i] == -1
                              ? "<null>"
                              : formatValue(bound.columns[i]->hostType, bound.buffers[i].data()));
        }
        set.rows.push_back(std::move(row));
    }
    for (ColumnDescriptor* d : bound.columns) {
        d->buffer = nullptr;
        d->indicator = nullptr;
    }
    return set;
}

}  // namespace kwhosttest
