/*
 * dbparm.cpp - the DbParm text: comma-separated Key=Value entries, parsed into the list of
 * ParameterEntry records the driver reads (kwshr_openConnectParameters, kwshr_findConnectParameter,
 * kwshr_closeConnectParameters) and edited in place (kwshr_setDbParmValue). A value in single
 * quotes is text ('' stands for one quote), an unquoted integer is a number without text, any other
 * unquoted word is text. A parsed list owns its entries and their texts, all allocations of the
 * block's context. One scanner serves parsing and editing, so both read the text the same way:
 * a fault ends the scan and only the entries before it count.
 */
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "internal.h"

namespace shr {
namespace {

enum class Fault {
    kNone,
    kMissingEquals,
    kEmptyKey,
    kBadKey,
    kUnterminatedQuote,
    kTextAfterQuote,
    kStrayQuote
};

struct FaultText {
    Fault fault;
    const char* text;
};
static const FaultText kFaultTexts[] = {
    {Fault::kNone, "no fault"},
    {Fault::kMissingEquals, "an entry has no '='"},
    {Fault::kEmptyKey, "an entry has an empty key"},
    {Fault::kBadKey, "a key holds a blank or a quote"},
    {Fault::kUnterminatedQuote, "a quoted value is not closed"},
    {Fault::kTextAfterQuote, "text follows a closing quote"},
    {Fault::kStrayQuote, "an unquoted value holds a quote"},
};
static_assert(std::size(kFaultTexts) == static_cast<size_t>(Fault::kStrayQuote) + 1, "one text per fault");

const char* faultText(Fault fault) {
    return kFaultTexts[static_cast<size_t>(fault)].text;
}

/* Where one entry's key and value stand in the text (value span includes its quotes). */
struct EntrySpan {
    size_t keyBegin, keyEnd;
    size_t valueBegin, valueEnd;
    bool quoted;
};

struct Scan {
    std::vector<EntrySpan> entries;
    Fault fault = Fault::kNone;
    size_t faultAt = 0;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

class Scanner {
  public:
    explicit Scanner(std::string_view text) : text_(text) {}

    Scan run() {
        while (skipBlanks()) {
            if (text_[at_] == ',') {
                ++at_;  // an empty entry (",," or a trailing comma) is skipped
                continue;
            }
            EntrySpan span{};
            if (!scanKey(span) || !scanValue(span)) {
                break;
            }
            scan_.entries.push_back(span);
            if (at_ < text_.size()) {
                ++at_;  // the comma that ended the value
            }
        }
        return std::move(scan_);
    }

  private:
    bool skipBlanks() {
        while (at_ < text_.size() && isBlank(text_[at_])) {
            ++at_;
        }
        return at_ < text_.size();
    }
    bool fail(Fault fault, size_t where) {
        scan_.fault = fault;
        scan_.faultAt = where;
        return false;
    }
    size_t trimmedEnd(size_t begin, size_t end) const {
        while (end > begin && isBlank(text_[end - 1])) {
            --end;
        }
        return end;
    }

    bool scanKey(EntrySpan& span) {
        span.keyBegin = at_;
        while (at_ < text_.size() && text_[at_] != '=' && text_[at_] != ',') {
            ++at_;
        }
        if (at_ == text_.size() || text_[at_] == ',') {
            return fail(Fault::kMissingEquals, span.keyBegin);
        }
        span.keyEnd = trimmedEnd(span.keyBegin, at_);
        if (span.keyEnd == span.keyBegin) {
            return fail(Fault::kEmptyKey, span.keyBegin);
        }
        for (size_t i = span.keyBegin; i < span.keyEnd; ++i) {
            if (isBlank(text_[i]) || text_[i] == '\'') {
                return fail(Fault::kBadKey, i);
            }
        }
        ++at_;  // past '='
        return true;
    }

    bool scanValue(EntrySpan& span) {
        skipBlanks();
        span.valueBegin = at_;
        span.quoted = at_ < text_.size() && text_[at_] == '\'';
        return span.quoted ? scanQuoted(span) : scanWord(span);
    }

    bool scanQuoted(EntrySpan& span) {
        for (++at_;; at_ += 2) {
            at_ = text_.find('\'', at_);
            if (at_ == std::string_view::npos) {
                return fail(Fault::kUnterminatedQuote, span.valueBegin);
            }
            if (at_ + 1 >= text_.size() || text_[at_ + 1] != '\'') {
                break;  // a closing quote, not a doubled one
            }
        }
        span.valueEnd = ++at_;
        if (skipBlanks() && text_[at_] != ',') {
            return fail(Fault::kTextAfterQuote, at_);
        }
        return true;
    }

    bool scanWord(EntrySpan& span) {
        while (at_ < text_.size() && text_[at_] != ',') {
            if (text_[at_] == '\'') {
                return fail(Fault::kStrayQuote, at_);
            }
            ++at_;
        }
        span.valueEnd = trimmedEnd(span.valueBegin, at_);
        return true;
    }

    std::string_view text_;
    size_t at_ = 0;
    Scan scan_;
};

Scan scanDbParm(std::string_view text) {
    return Scanner(text).run();
}

void traceFault(const char* service, const Scan& scan) {
    if (scan.fault != Fault::kNone) {
        traceLine(fmt::format("{}: DbParm text malformed at position {} ({}); entries before it kept",
                              service, scan.faultAt + 1, faultText(scan.fault)));
    }
}

/* An unquoted value that is an optional sign and digits within 32 bits is a number. */
bool asNumber(std::string_view word, int32_t& number) {
    size_t digitsFrom = (!word.empty() && (word[0] == '+' || word[0] == '-')) ? 1 : 0;
    if (word.size() == digitsFrom || word.size() > 20) {
        return false;
    }
    for (size_t i = digitsFrom; i < word.size(); ++i) {
        if (word[i] < '0' || word[i] > '9') {
            return false;
        }
    }
    std::string digits(word);
    errno = 0;
    long long value = std::strtoll(digits.c_str(), nullptr, 10);
    if (errno != 0 || value < INT32_MIN || value > INT32_MAX) {
        return false;
    }
    number = static_cast<int32_t>(value);
    return true;
}

std::string unquote(std::string_view quoted) {
    std::string text;
    for (size_t i = 1; i + 1 < quoted.size(); ++i) {
        text += quoted[i];
        if (quoted[i] == '\'') {
            ++i;  // the second quote of a doubled pair
        }
    }
    return text;
}

void freeEntry(KWCTX ctx, ParameterEntry* entry) {
    if (entry != nullptr) {
        kwshr_free(ctx, entry->key);
        kwshr_free(ctx, entry->text);
        kwshr_free(ctx, entry);
    }
}

void freeParameterList(KWCTX ctx, HostList* list) {
    if (list == nullptr) {
        return;
    }
    for (HostListNode* node = list->first; node != nullptr; node = node->next) {
        freeEntry(ctx, static_cast<ParameterEntry*>(node->data));
    }
    kwshr_destroyList(list);
}

ParameterEntry* makeEntry(KWCTX ctx, int32_t flags, std::string_view text, const EntrySpan& span) {
    auto* entry = static_cast<ParameterEntry*>(kwshr_allocate(ctx, sizeof(ParameterEntry), flags));
    if (entry == nullptr) {
        return nullptr;
    }
    *entry = ParameterEntry{nullptr, nullptr, 0};
    std::string key(text.substr(span.keyBegin, span.keyEnd - span.keyBegin));
    std::string_view value = text.substr(span.valueBegin, span.valueEnd - span.valueBegin);
    entry->key = kwshr_duplicateString(ctx, key.c_str(), flags);
    bool ok = entry->key != nullptr;
    if (ok && (span.quoted || !asNumber(value, entry->number))) {
        std::string valueText = span.quoted ? unquote(value) : std::string(value);
        entry->text = kwshr_duplicateString(ctx, valueText.c_str(), flags);
        ok = entry->text != nullptr;
    }
    if (!ok) {
        freeEntry(ctx, entry);
        return nullptr;
    }
    return entry;
}

/* The list of the text's entries, or null when there is none or memory ran out (then nothing is
 * left allocated). */
HostList* parseIntoList(KWCTX ctx, int32_t flags, std::string_view text, const Scan& scan) {
    if (scan.entries.empty()) {
        return nullptr;
    }
    HostList* list = kwshr_createList(ctx, flags);
    if (list == nullptr) {
        return nullptr;
    }
    for (const EntrySpan& span : scan.entries) {
        ParameterEntry* entry = makeEntry(ctx, flags, text, span);
        if (entry == nullptr || kwshr_appendToList(list, entry) == 0) {
            freeEntry(ctx, entry);
            freeParameterList(ctx, list);
            traceLine("kwshr_openConnectParameters: out of memory; no parameter list");
            return nullptr;
        }
    }
    return list;
}

/* A key that can stand in the text as it is: not empty, no blank, quote, '=' or ','. */
bool isWritableKey(std::string_view key) {
    if (key.empty()) {
        return false;
    }
    for (char c : key) {
        if (isBlank(c) || c == '\'' || c == '=' || c == ',') {
            return false;
        }
    }
    return true;
}

/* A value that reads back as exactly one value: a closed quoted text or a word without commas. */
bool isWritableValue(std::string_view value) {
    std::string probe = "K=" + std::string(value);
    Scan scan = scanDbParm(probe);
    return scan.fault == Fault::kNone && scan.entries.size() == 1;
}

/* The new DbParm text with `value` in place of the value of every entry of `key`, or with the
 * entry appended; false when the key's place cannot be known because the text is malformed
 * before any entry of that key. */
bool editedText(std::string_view old, std::string_view key, std::string_view value, std::string& edited) {
    Scan scan = scanDbParm(old);
    size_t copiedUpTo = 0;
    bool replaced = false;
    for (const EntrySpan& span : scan.entries) {
        if (equalIgnoringCase(old.substr(span.keyBegin, span.keyEnd - span.keyBegin), key)) {
            edited.append(old.substr(copiedUpTo, span.valueBegin - copiedUpTo));
            edited.append(value);
            copiedUpTo = span.valueEnd;
            replaced = true;
        }
    }
    if (replaced) {
        edited.append(old.substr(copiedUpTo));
        return true;
    }
    if (scan.fault != Fault::kNone) {
        traceFault("kwshr_setDbParmValue", scan);
        return false;
    }
    edited.assign(old);
    if (!old.empty()) {
        edited += ',';
    }
    edited.append(key).append("=").append(value);
    return true;
}

void setDbParmValue(RequestBlock& block, std::string_view key, std::string_view value) {
    if (!isWritableKey(key) || !isWritableValue(value)) {
        traceLine(
            fmt::format("kwshr_setDbParmValue: '{}={}' is not a DbParm entry; text unchanged", key, value));
        return;
    }
    std::string edited;
    if (!editedText(block.dbParm != nullptr ? block.dbParm : "", key, value, edited)) {
        return;
    }
    char* text = kwshr_duplicateString(block.memoryContext, edited.c_str(), block.allocFlags);
    if (text == nullptr) {
        traceLine("kwshr_setDbParmValue: out of memory; text unchanged");
        return;
    }
    freeIfOwned(block.memoryContext, block.dbParm);
    block.dbParm = text;
}

}  // namespace
}  // namespace shr

extern "C" {

void kwshr_openConnectParameters(RequestBlock* block) {
    if (block == nullptr) {
        return;
    }
    block->result = 0;
    if (block->dbParm == nullptr) {
        return;
    }
    shr::guardedVoid([&] {
        std::string_view text = block->dbParm;
        shr::Scan scan = shr::scanDbParm(text);
        shr::traceFault("kwshr_openConnectParameters", scan);
        block->result = reinterpret_cast<intptr_t>(
            shr::parseIntoList(block->memoryContext, block->allocFlags, text, scan));
    });
}

void kwshr_findConnectParameter(RequestBlock* block) {
    if (block == nullptr) {
        return;
    }
    block->result = 0;
    auto* list = static_cast<HostList*>(block->arg);
    if (list == nullptr || block->paramKey == nullptr) {
        return;
    }
    // Walks the nodes itself: the list's cursor is the driver's and stays where it is.
    for (HostListNode* node = list->first; node != nullptr; node = node->next) {
        auto* entry = static_cast<ParameterEntry*>(node->data);
        if (entry != nullptr && entry->key != nullptr &&
            shr::equalIgnoringCase(entry->key, block->paramKey)) {
            block->result = reinterpret_cast<intptr_t>(entry);
            return;
        }
    }
}

void kwshr_closeConnectParameters(RequestBlock* block) {
    if (block == nullptr) {
        return;
    }
    shr::freeParameterList(block->memoryContext, static_cast<HostList*>(block->arg));
}

void kwshr_setDbParmValue(RequestBlock* block, const char* key, const char* value) {
    if (block == nullptr || key == nullptr || value == nullptr) {
        shr::traceLine("kwshr_setDbParmValue: no block, key or value; nothing set");
        return;
    }
    shr::guardedVoid([&] { shr::setDbParmValue(*block, key, value); });
}

}  // extern "C"
