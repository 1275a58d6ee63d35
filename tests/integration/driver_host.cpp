// driver_host.cpp - the integration tests' host: loading the driver, request blocks, fetching.
#include "driver_host.h"

#include <dlfcn.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#ifndef KW_DRIVER_PATH
#error "KW_DRIVER_PATH must name the driver module"
#endif

namespace kwhosttest {

KW_TDX_RoutFunction driverEntry() {
    static KW_TDX_RoutFunction entry = [] {
        void* module = dlopen(KW_DRIVER_PATH, RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            throw std::runtime_error(std::string("cannot load the driver: ") + dlerror());
        }
        auto* found = reinterpret_cast<KW_TDX_RoutFunction>(dlsym(module, "KW_TDX_Rout"));
        if (found == nullptr) {
            throw std::runtime_error("the driver exports no KW_TDX_Rout");
        }
        return found;
    }();
    return entry;
}

Transaction::Transaction(const char* name) : context_(kwhost_createContext(name)) {
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

void Transaction::setText(char** field, const char* text) {
    kwhost_setBlockText(&block_, field, text);
}

int32_t Transaction::connect(const std::string& server, const char* user, const char* password,
                             const char* dbParm) {
    setText(&block_.serverName, server.c_str());
    setText(&block_.loginId, user);
    setText(&block_.password, password);
    setText(&block_.dbParm, dbParm);
    return call(REQ_CONNECT);
}

int32_t Transaction::connectAsJoe(const char* dbParm) {
    return connect(kwtest::Environment::get().serverName(), kwtest::kJoe.name, kwtest::kJoe.password, dbParm);
}

int32_t Transaction::disconnect() {
    return call(REQ_DISCONNECT);
}

int32_t Transaction::execute(const std::string& sql) {
    sql_ = sql;
    block_.sqlText = sql_.data();
    const int32_t status = call(REQ_EXECUTE);
    block_.sqlText = nullptr;
    return status;
}

int64_t Transaction::liveAllocations() const {
    KwContextStats stats{};
    kwhost_contextStats(context_, &stats);
    return stats.liveAllocations;
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

std::string formatDecimal(const HostDecimal& value) {
    // The 96-bit mantissa as decimal digits: repeated division of three 32-bit limbs by 10.
    uint32_t limbs[3] = {value.high, static_cast<uint32_t>(value.low >> 32),
                         static_cast<uint32_t>(value.low)};
    std::string digits;
    do {
        uint64_t remainder = 0;
        for (uint32_t& limb : limbs) {
            const uint64_t current = (remainder << 32) | limb;
            limb = static_cast<uint32_t>(current / 10);
            remainder = current % 10;
        }
        digits.insert(digits.begin(), static_cast<char>('0' + remainder));
    } while (limbs[0] != 0 || limbs[1] != 0 || limbs[2] != 0);
    while (digits.size() <= value.scale) {
        digits.insert(digits.begin(), '0');
    }
    if (value.scale > 0) {
        digits.insert(digits.end() - value.scale, '.');
    }
    return (value.sign & KW_DECIMAL_NEGATIVE ? "-" : "") + digits;
}

std::string formatDateTime(const DateTimeValue& v) {
    char text[64] = {};
    const bool hasDate = v.year != KW_NO_DATE_PART;
    const bool hasTime = v.hour != KW_NO_TIME_PART;
    if (hasDate && hasTime) {
        std::snprintf(text, sizeof text, "%04d-%02u-%02u-%02u.%02u.%02u.%06" PRIu32, v.year + 1900,
                      v.month + 1u, unsigned{v.day}, unsigned{v.hour}, unsigned{v.minute}, unsigned{v.second},
                      v.microseconds);
    } else if (hasDate) {
        std::snprintf(text, sizeof text, "%04d-%02u-%02u", v.year + 1900, v.month + 1u, unsigned{v.day});
    } else {
        std::snprintf(text, sizeof text, "%02u.%02u.%02u", unsigned{v.hour}, unsigned{v.minute},
                      unsigned{v.second});
    }
    return text;
}

namespace {

std::string formatValue(const ColumnDescriptor& d, const std::vector<char>& buffer) {
    switch (d.hostType) {
        case HOST_DECIMAL: {
            HostDecimal value;
            std::memcpy(&value, buffer.data(), sizeof value);
            return formatDecimal(value);
        }
        case HOST_DATE:
        case HOST_TIME:
        case HOST_DATETIME: {
            DateTimeValue value;
            std::memcpy(&value, buffer.data(), sizeof value);
            return formatDateTime(value);
        }
        case HOST_INTEGER: {
            int32_t value;
            std::memcpy(&value, buffer.data(), sizeof value);
            return std::to_string(value);
        }
        case HOST_SMALLINT: {
            int16_t value;
            std::memcpy(&value, buffer.data(), sizeof value);
            return std::to_string(value);
        }
        case HOST_DOUBLE: {
            double value;
            std::memcpy(&value, buffer.data(), sizeof value);
            char text[64];
            std::snprintf(text, sizeof text, "%g", value);
            return text;
        }
        default:
            return std::string(buffer.data());
    }
}

}  // namespace

FetchedSet fetchAll(Transaction& t) {
    FetchedSet set;
    RequestBlock& block = t.block();
    block.inValue = 1;
    t.call(REQ_DESCRIBE);
    const std::vector<ColumnDescriptor*> columns = descriptors(block);
    std::vector<std::vector<char>> buffers(columns.size());
    std::vector<int32_t> indicators(columns.size(), 12345);
    for (size_t i = 0; i < columns.size(); ++i) {
        ColumnDescriptor* d = columns[i];
        set.columns.push_back({d->name, d->db2Type, d->hostType, d->length, d->precision, d->scale});
        buffers[i].assign(static_cast<size_t>(std::max<int32_t>(d->length, 16)) + 16, '\0');
        d->buffer = buffers[i].data();
        d->indicator = &indicators[i];
    }
    if (columns.empty()) {
        return set;
    }
    if (t.call(REQ_BIND) != KW_STATUS_OK) {
        set.lastStatus = block.status;
        return set;
    }
    for (;;) {
        for (auto& buffer : buffers) {
            std::fill(buffer.begin(), buffer.end(), '\0');
        }
        const int32_t status = t.call(REQ_FETCH);
        set.lastStatus = status;
        if (status != KW_STATUS_OK && status != KW_STATUS_ROW_WITH_WARNING) {
            break;
        }
        std::vector<std::string> row;
        for (size_t i = 0; i < columns.size(); ++i) {
            row.push_back(indicators[i] == -1 ? "<null>" : formatValue(*columns[i], buffers[i]));
        }
        set.rows.push_back(std::move(row));
    }
    for (ColumnDescriptor* d : columns) {
        d->buffer = nullptr;
        d->indicator = nullptr;
    }
    return set;
}

}  // namespace kwhosttest
