// dbparm.cpp - fuzzes the DbParm text: parsing it into the parameter list, finding keys in it,
// and setting a key's value, also with the host's memory failing part way.
//
// Invariants: every parameter found has a key equal (ignoring case) to the one asked for and is
// the first entry with that key; a set value reads back as it reads on its own; a failed
// allocation ends in no list or a whole one; closing the list frees everything.
#include <strings.h>

#include <string>

#include "check.h"
#include "kwshr.h"

namespace {

struct Context {
    Context() : ctx(kwhost_createContext("fuzz")) { block.memoryContext = ctx; }
    ~Context() {
        kwhost_setBlockText(&block, &block.dbParm, nullptr);
        KW_FUZZ_CHECK(kwhost_destroyContext(ctx) == 0);
    }
    KWCTX ctx;
    RequestBlock block{};
};

// The entry `key` finds in the text, copied out: present, text (null: none) and number.
struct Found {
    bool present = false;
    bool hasText = false;
    std::string text;
    int32_t number = 0;
};

Found find(RequestBlock& block, HostList* list, const char* key) {
    block.arg = list;
    block.paramKey = const_cast<char*>(key);
    kwshr_findConnectParameter(&block);
    Found found;
    const auto* entry = reinterpret_cast<const ParameterEntry*>(block.result);
    if (entry != nullptr) {
        KW_FUZZ_CHECK(strcasecmp(entry->key, key) == 0);
        // The first entry of the key, whatever the list's cursor says.
        for (HostListNode* node = list->first; node != nullptr; node = node->next) {
            const auto* e = static_cast<const ParameterEntry*>(node->data);
            if (strcasecmp(e->key, key) == 0) {
                KW_FUZZ_CHECK(e == entry);
                break;
            }
        }
        found = {true, entry->text != nullptr, entry->text != nullptr ? entry->text : "", entry->number};
        KW_FUZZ_CHECK(entry->text == nullptr || entry->number == 0);
    }
    block.paramKey = nullptr;
    return found;
}

// Parses the block's text and finds `key` in it.
Found parseAndFind(RequestBlock& block, const char* key) {
    kwshr_openConnectParameters(&block);
    auto* list = reinterpret_cast<HostList*>(block.result);
    Found found;
    if (list != nullptr) {
        KW_FUZZ_CHECK(kwshr_listCount(list) > 0);
        for (HostListNode* node = list->first; node != nullptr; node = node->next) {
            const auto* e = static_cast<const ParameterEntry*>(node->data);
            KW_FUZZ_CHECK(e != nullptr && e->key != nullptr && e->key[0] != '\0');
        }
        found = find(block, list, key);
        block.arg = list;
        kwshr_closeConnectParameters(&block);
    }
    return found;
}

bool sameFound(const Found& a, const Found& b) {
    return a.present == b.present && a.hasText == b.hasText && a.text == b.text && a.number == b.number;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kwfuzz::InputReader in(data, size);
    const uint8_t failAt = in.byte();
    const std::string key = kwfuzz::cText(in.piece('\x01'));
    const std::string value = kwfuzz::cText(in.piece('\x01'));
    const std::string text = kwfuzz::cText(in.rest());

    Context c;
    kwhost_setBlockText(&c.block, &c.block.dbParm, text.c_str());
    parseAndFind(c.block, key.c_str());

    // The same text with the host's memory failing at one allocation: no list, or a whole one.
    {
        Context failing;
        kwhost_setBlockText(&failing.block, &failing.block.dbParm, text.c_str());
        kwhost_failAllocation(failing.ctx, failAt % 16 + 1);
        kwshr_openConnectParameters(&failing.block);
        if (auto* list = reinterpret_cast<HostList*>(failing.block.result)) {
            failing.block.arg = list;
            kwshr_closeConnectParameters(&failing.block);
        }
        kwhost_failAllocation(failing.ctx, 0);
    }

    // Setting the value: when the text changed, the key now reads as the value reads on its own.
    kwshr_setDbParmValue(&c.block, key.c_str(), value.c_str());
    const std::string after = c.block.dbParm != nullptr ? c.block.dbParm : "";
    if (after != text) {
        Context alone;
        const std::string entry = key + "=" + value;
        kwhost_setBlockText(&alone.block, &alone.block.dbParm, entry.c_str());
        const Found expected = parseAndFind(alone.block, key.c_str());
        KW_FUZZ_CHECK(expected.present);
        KW_FUZZ_CHECK(sameFound(parseAndFind(c.block, key.c_str()), expected));
    }
    return 0;
}
