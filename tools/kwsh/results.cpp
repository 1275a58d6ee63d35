// results.cpp - describing, binding and fetching through the driver's descriptor requests.
//
// Serves the shell's result printing and compile-only describe. It owns the buffers of the open
// result set; each is at least 16 bytes, since a fetch writes a 16-byte decimal or a 12-byte date
// over the text of a column whose described length may be shorter.
#include "results.h"

#include <algorithm>

#include "kwconst.h"
#include "kwshr.h"
#include "values.h"

namespace kwsh {

namespace {

constexpr int32_t kMinimumBuffer = 16;

ResultColumn columnOf(const ColumnDescriptor& d) {
    ResultColumn column;
    column.name = d.name != nullptr ? d.name : "";
    column.db2Type = d.db2Type;
    column.hostType = d.hostType;
    column.length = d.length;
    column.precision = d.precision;
    column.scale = d.scale;
    return column;
}

}  // namespace

std::vector<ColumnDescriptor*> columnDescriptors(RequestBlock& block) {
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

Outcome ResultSet::open() {
    close();
    RequestBlock& block = session_.block();
    block.inValue = 1;
    Outcome outcome = session_.call(REQ_DESCRIBE);
    if (!outcome.ok()) {
        return outcome;
    }
    open_ = true;
    const std::vector<ColumnDescriptor*> descriptors = columnDescriptors(block);
    if (descriptors.empty()) {
        return outcome;
    }
    buffers_.resize(descriptors.size());
    indicators_.assign(descriptors.size(), 0);
    for (size_t i = 0; i < descriptors.size(); ++i) {
        ColumnDescriptor* d = descriptors[i];
        columns_.push_back(columnOf(*d));
        buffers_[i].assign(static_cast<size_t>(std::max(+d->length, kMinimumBuffer)) + 1, '\0');
        d->buffer = buffers_[i].data();
        d->indicator = &indicators_[i];
    }
    return session_.call(REQ_BIND);
}

Outcome ResultSet::fetch(OutputRow& row) {
    row.clear();
    Outcome outcome = session_.call(REQ_FETCH);
    if (outcome.status != KW_STATUS_OK && outcome.status != KW_STATUS_ROW_WITH_WARNING) {
        return outcome;
    }
    for (size_t i = 0; i < columns_.size(); ++i) {
        row.push_back(formatValue(columns_[i].hostType, buffers_[i].data(), indicators_[i]));
    }
    return outcome;
}

void ResultSet::close() {
    if (!open_) {
        return;
    }
    RequestBlock& block = session_.block();
    for (ColumnDescriptor* d : columnDescriptors(block)) {
        d->buffer = nullptr;
        d->indicator = nullptr;
    }
    kwshr_releaseBlockData(&block);
    columns_.clear();
    buffers_.clear();
    indicators_.clear();
    open_ = false;
}

Outcome describeOnly(Session& session, const std::string& sql, std::vector<ResultColumn>& columns) {
    columns.clear();
    RequestBlock& block = session.block();
    session.setStatement(sql);
    block.inValue = 0;
    Outcome outcome = session.call(REQ_PREPARE);
    if (outcome.ok()) {
        block.inValue = 0;
        outcome = session.call(REQ_DESCRIBE);
        for (const ColumnDescriptor* d : columnDescriptors(block)) {
            columns.push_back(columnOf(*d));
        }
        kwshr_releaseBlockData(&block);
    }
    session.setStatement("");
    return outcome;
}

}  // namespace kwsh
