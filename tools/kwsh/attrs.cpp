// attrs.cpp - \attrs, \formats, \validations and \editstyles through the driver's extended
// catalog requests.
//
// Serves the command table. \attrs reads a table as the painter does (requests 8 and 9), adds its
// extended attributes (107), and for a change writes the catalog statements (45) and runs each
// through request 5. The dictionaries are read whole (89, 90, 215). Every text the driver copied
// and every text the shell put into a record is freed when the command ends.
#include "attrs.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "hostlist.h"
#include "kwconst.h"
#include "kwshr.h"
#include "shell.h"

namespace kwsh {

namespace {

// One table read for \attrs: its entry and columns with their attributes, freed at the end.
class TableAttributes {
  public:
    explicit TableAttributes(KWCTX context) : ctx_(context) {}
    ~TableAttributes() {
        for (ColumnDescriptor* c : columns()) {
            for (char* text : {c->comment, c->label, c->heading, c->displayFormat, c->validationRule,
                               c->initialValue, c->editStyle, c->name}) {
                kwshr_free(ctx_, text);
            }
            kwshr_free(ctx_, c);
        }
        if (columns_ != nullptr) {
            kwshr_destroyList(columns_);
        }
        for (TableEntry* e : itemsOf<TableEntry>(tables_)) {
            kwshr_free(ctx_, e->comment);
            kwshr_free(ctx_, e->owner);
            kwshr_free(ctx_, e);
        }
        if (tables_ != nullptr) {
            kwshr_destroyList(tables_);
        }
    }
    TableAttributes(const TableAttributes&) = delete;
    TableAttributes& operator=(const TableAttributes&) = delete;

    // Reads the one table named; false (said why) when it cannot.
    bool read(Shell& shell, const std::string& text) {
        Session& session = shell.session();
        RequestBlock& block = session.block();
        if (block.currentUser == nullptr) {
            session.call(REQ_COPY_LOGIN_ID);  // the fallback owner of the extended catalog
        }
        const size_t dot = text.find('.');
        owner_ = lower(dot == std::string::npos ? session.user() : text.substr(0, dot));
        name_ = lower(dot == std::string::npos ? text : text.substr(dot + 1));
        session.setStatement(name_);
        kwhost_setBlockText(&block, &block.ownerName, owner_.c_str());
        Outcome o = session.call(REQ_LIST_TABLES);
        session.setStatement("");
        kwhost_setBlockText(&block, &block.ownerName, nullptr);
        tables_ = reinterpret_cast<HostList*>(block.result);
        if (!o.ok()) {
            shell.fail(o);
            return false;
        }
        const auto entries = itemsOf<TableEntry>(tables_);
        if (entries.empty()) {
            shell.failText("ERROR: did not find any table named \"" + owner_ + "." + name_ +
                           "\" that you may see");
            return false;
        }
        entry_ = entries.front();
        for (int32_t code : {REQ_LIST_COLUMNS, REQ_READ_ATTRIBUTES}) {
            block.arg = entry_;
            o = session.call(code);
            block.arg = nullptr;
            if (code == REQ_LIST_COLUMNS && o.ok()) {
                columns_ = entry_->columns = reinterpret_cast<HostList*>(block.result);
            }
            if (!o.ok()) {
                shell.fail(o);
                return false;
            }
        }
        if ((block.flags & FLAG_CATALOG_UNAVAILABLE) != 0) {
            shell.say("note: this connection has no extended catalog; nothing was read");
        }
        return true;
    }

    TableEntry& entry() { return *entry_; }
    std::vector<ColumnDescriptor*> columns() const { return itemsOf<ColumnDescriptor>(columns_); }
    std::string qualifiedName() const { return owner_ + "." + name_; }

    // Replaces a text of a record with a copy the shell owns (freed with the record).
    char* copy(const std::string& text) { return kwshr_duplicateString(ctx_, text.c_str(), 0); }
    void replace(char*& field, const std::string& text) {
        kwshr_free(ctx_, field);
        field = text.empty() ? nullptr : copy(text);
    }

  private:
    KWCTX ctx_;
    HostList* tables_ = nullptr;
    HostList* columns_ = nullptr;
    TableEntry* entry_ = nullptr;
    std::string owner_, name_;
};

std::string quoted(const char* text) {
    std::string out = "\"";
    for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
        out += *p;
        if (*p == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

// Positions and other 16-bit values: the catalog holds them signed, the record widened unsigned.
int smallint(int32_t value) {
    return static_cast<int16_t>(static_cast<uint16_t>(value));
}

std::string fontText(const FontAttributes& f) {
    // The record is packed: its fields go to fmt as values, never as references.
    std::string text = fmt::format("height {}, weight {}", int{f.height}, int{f.weight});
    if (f.italic != 0) {
        text += ", italic";
    }
    if (f.underline != 0) {
        text += ", underline";
    }
    return text + fmt::format(", charset {}, pitch {}, face {}", unsigned{f.charSet},
                              unsigned{f.pitchAndFamily}, quoted(f.faceName));
}

// The attributes of a column that are set, as KEY=VALUE words \attrs takes back.
std::string columnText(const ColumnDescriptor& c) {
    std::vector<std::string> parts;
    auto text = [&](const char* key, const char* value) {
        if (value != nullptr && value[0] != '\0') {
            parts.push_back(std::string(key) + "=" + quoted(value));
        }
    };
    auto number = [&](const char* key, int32_t value) {
        if (value != 0) {
            parts.push_back(fmt::format("{}={}", key, smallint(value)));
        }
    };
    text("label", c.label);
    number("label_pos", c.labelPosition);
    text("heading", c.heading);
    number("heading_pos", c.headingPosition);
    number("justify", c.justification);
    text("format", c.displayFormat);
    number("case", c.caseConversion);
    number("height", c.displayHeight);
    number("width", c.displayWidth);
    text("validation", c.validationRule);
    if (c.bitmap != 0) {
        parts.push_back("bitmap=y");
    }
    text("initial", c.initialValue);
    text("edit", c.editStyle);
    text("comment", c.comment);
    std::string out;
    for (const std::string& part : parts) {
        out += (out.empty() ? "" : " ") + part;
    }
    return out.empty() ? "(no attributes)" : out;
}

void printAttributes(Shell& shell, TableAttributes& t) {
    std::ostream& out = shell.out();
    TableEntry& e = t.entry();
    out << "Table " << t.qualifiedName() << '\n';
    out << "  comment:      " << (e.comment != nullptr ? quoted(e.comment) : std::string("(none)")) << '\n';
    out << "  data font:    " << fontText(e.dataFont) << '\n';
    out << "  heading font: " << fontText(e.headingFont) << '\n';
    out << "  label font:   " << fontText(e.labelFont) << '\n';
    size_t width = 0;
    for (const ColumnDescriptor* c : t.columns()) {
        width = std::max(width, std::strlen(c->name));
    }
    for (const ColumnDescriptor* c : t.columns()) {
        out << fmt::format("  {:<{}}  {}\n", std::string(c->name), width, columnText(*c));
    }
}

bool parseNumber(const std::string& text, int32_t& out) {
    const char* end = text.data() + text.size();
    int value = 0;
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || at != end || value < -32768 || value > 65535) {
        return false;
    }
    out = value;
    return true;
}

bool parseFlag(const std::string& text, int32_t& out) {
    const std::string v = lower(text);
    if (v == "y" || v == "yes" || v == "1" || v == "on") {
        out = 1;
    } else if (v == "n" || v == "no" || v == "0" || v == "off") {
        out = 0;
    } else {
        return false;
    }
    return true;
}

// Sets one key of a column; answers an error text, empty when it was set. The record is packed:
// its fields are read and written by name, never through a reference.
std::string setColumnKey(TableAttributes& t, ColumnDescriptor& c, const std::string& key,
                         const std::string& value) {
    struct TextKey {
        const char* key;
        char* (*get)(const ColumnDescriptor&);
        void (*set)(ColumnDescriptor&, char*);
    };
    static const TextKey texts[] = {
        {"label", [](const ColumnDescriptor& d) { return d.label; },
         [](ColumnDescriptor& d, char* v) { d.label = v; }},
        {"heading", [](const ColumnDescriptor& d) { return d.heading; },
         [](ColumnDescriptor& d, char* v) { d.heading = v; }},
        {"format", [](const ColumnDescriptor& d) { return d.displayFormat; },
         [](ColumnDescriptor& d, char* v) { d.displayFormat = v; }},
        {"validation", [](const ColumnDescriptor& d) { return d.validationRule; },
         [](ColumnDescriptor& d, char* v) { d.validationRule = v; }},
        {"initial", [](const ColumnDescriptor& d) { return d.initialValue; },
         [](ColumnDescriptor& d, char* v) { d.initialValue = v; }},
        {"edit", [](const ColumnDescriptor& d) { return d.editStyle; },
         [](ColumnDescriptor& d, char* v) { d.editStyle = v; }},
        {"comment", [](const ColumnDescriptor& d) { return d.comment; },
         [](ColumnDescriptor& d, char* v) { d.comment = v; }},
    };
    for (const TextKey& k : texts) {
        if (key == k.key) {
            char* field = k.get(c);
            t.replace(field, value);
            k.set(c, field);
            return "";
        }
    }
    struct NumberKey {
        const char* key;
        void (*set)(ColumnDescriptor&, int32_t);
    };
    static const NumberKey numbers[] = {
        {"label_pos", [](ColumnDescriptor& d, int32_t v) { d.labelPosition = v; }},
        {"heading_pos", [](ColumnDescriptor& d, int32_t v) { d.headingPosition = v; }},
        {"justify", [](ColumnDescriptor& d, int32_t v) { d.justification = v; }},
        {"case", [](ColumnDescriptor& d, int32_t v) { d.caseConversion = v; }},
        {"height", [](ColumnDescriptor& d, int32_t v) { d.displayHeight = v; }},
        {"width", [](ColumnDescriptor& d, int32_t v) { d.displayWidth = v; }},
        {"bitmap", nullptr},
    };
    int32_t number = 0;
    for (const NumberKey& k : numbers) {
        if (key != k.key) {
            continue;
        }
        if (k.set == nullptr) {
            if (!parseFlag(value, number)) {
                return "bitmap takes y or n";
            }
            c.bitmap = number;
        } else if (!parseNumber(value, number)) {
            return "\"" + value + "\" is no 16-bit number";
        } else {
            k.set(c, number);
        }
        return "";
    }
    return "unknown column attribute \"" + key + "\"";
}

// Sets one key of the table: comment, or FONT.FIELD with FONT data, heading or label.
std::string setTableKey(TableAttributes& t, const std::string& key, const std::string& value) {
    TableEntry& e = t.entry();
    if (key == "comment") {
        char* field = e.comment;
        t.replace(field, value);
        e.comment = field;
        return "";
    }
    const size_t dot = key.find('.');
    const std::map<std::string, FontAttributes*> fonts = {
        {"data", &e.dataFont}, {"heading", &e.headingFont}, {"label", &e.labelFont}};
    const auto font = fonts.find(key.substr(0, dot));
    if (dot == std::string::npos || font == fonts.end()) {
        return "unknown table attribute \"" + key + "\"";
    }
    FontAttributes& f = *font->second;
    const std::string field = key.substr(dot + 1);
    int32_t number = 0;
    if (field == "face") {
        if (value.size() >= sizeof f.faceName) {
            return "a face name holds at most " + std::to_string(sizeof f.faceName - 1) + " characters";
        }
        std::memset(f.faceName, 0, sizeof f.faceName);
        std::memcpy(f.faceName, value.data(), value.size());
    } else if (field == "italic" || field == "underline") {
        if (!parseFlag(value, number)) {
            return field + " takes y or n";
        }
        if (field == "italic") {
            f.italic = static_cast<int16_t>(number);
        } else {
            f.underline = static_cast<int16_t>(number);
        }
    } else if (field == "height" || field == "weight") {
        if (!parseNumber(value, number) || number > 32767) {
            return "\"" + value + "\" is no SMALLINT";
        }
        if (field == "height") {
            f.height = static_cast<int16_t>(number);
        } else {
            f.weight = static_cast<int16_t>(number);
        }
    } else if (field == "charset" || field == "pitch") {
        if (!parseNumber(value, number) || number < 0 || number > 255) {
            return field + " takes 0 to 255";
        }
        if (field == "charset") {
            f.charSet = static_cast<uint8_t>(number);
        } else {
            f.pitchAndFamily = static_cast<uint8_t>(number);
        }
    } else {
        return "unknown font field \"" + field + "\"";
    }
    return "";
}

// Writes the catalog statements of the table (request 45) and runs them (request 5).
bool storeAttributes(Shell& shell, TableAttributes& t) {
    Session& session = shell.session();
    RequestBlock& block = session.block();
    HostList* arg = kwshr_createList(block.memoryContext, 0);
    if (arg == nullptr || kwshr_appendToList(arg, &t.entry()) == 0) {
        if (arg != nullptr) {
            kwshr_destroyList(arg);
        }
        shell.failText("ERROR: out of memory");
        return false;
    }
    block.arg = arg;
    const Outcome written = session.call(REQ_WRITE_ATTRIBUTES);
    block.arg = nullptr;
    kwshr_destroyList(arg);
    const std::vector<std::string> statements = takeStatements(block);
    if (!written.ok()) {
        shell.fail(written);
        return false;
    }
    for (const std::string& statement : statements) {
        session.setStatement(statement);
        const Outcome ran = session.call(REQ_EXECUTE);
        session.setStatement("");
        session.call(REQ_CANCEL);  // nothing of the statement's answer is wanted
        if (!ran.ok()) {
            shell.fail(ran);
            return false;
        }
    }
    shell.say(fmt::format("attributes of {} stored ({} statements)", t.qualifiedName(), statements.size()));
    return true;
}

bool requireConnection(Shell& shell) {
    if (!shell.session().connected()) {
        shell.failText("ERROR: not connected");
        return false;
    }
    return true;
}

}  // namespace

std::string attributeKeysHelp() {
    return "column keys: label heading format validation initial edit comment (texts), label_pos heading_pos "
           "justify case height width (numbers), bitmap (y/n); table keys (COLUMN -): comment, "
           "data|heading|label.height|weight|italic|underline|charset|pitch|face";
}

bool showAttributesCommand(Shell& shell, const std::string& table) {
    if (!requireConnection(shell)) {
        return false;
    }
    TableAttributes t(shell.session().block().memoryContext);
    if (!t.read(shell, table)) {
        return false;
    }
    printAttributes(shell, t);
    return true;
}

bool setAttributesCommand(Shell& shell, const std::string& table, const std::string& column,
                          const std::vector<std::string>& assignments) {
    if (!requireConnection(shell)) {
        return false;
    }
    TableAttributes t(shell.session().block().memoryContext);
    if (!t.read(shell, table)) {
        return false;
    }
    ColumnDescriptor* target = nullptr;
    if (column != "-") {
        for (ColumnDescriptor* c : t.columns()) {
            if (lower(c->name) == lower(column)) {
                target = c;
            }
        }
        if (target == nullptr) {
            shell.failText("ERROR: " + t.qualifiedName() + " has no column \"" + column + "\"");
            return false;
        }
    }
    for (const std::string& assignment : assignments) {
        const size_t equals = assignment.find('=');
        if (equals == std::string::npos || equals == 0) {
            shell.failText("ERROR: \"" + assignment + "\" is not KEY=VALUE; " + attributeKeysHelp());
            return false;
        }
        const std::string key = lower(assignment.substr(0, equals));
        const std::string value = assignment.substr(equals + 1);
        const std::string error =
            target != nullptr ? setColumnKey(t, *target, key, value) : setTableKey(t, key, value);
        if (!error.empty()) {
            shell.failText("ERROR: " + error + "; nothing was stored");
            return false;
        }
    }
    return storeAttributes(shell, t);
}

bool listDictionaryCommand(Shell& shell, int32_t requestCode) {
    if (!requireConnection(shell)) {
        return false;
    }
    Session& session = shell.session();
    RequestBlock& block = session.block();
    if (block.currentUser == nullptr) {
        session.call(REQ_COPY_LOGIN_ID);
    }
    const Outcome o = session.call(requestCode);
    auto set = reinterpret_cast<KWSET>(block.result);
    std::vector<DictionaryEntry*> rows;
    for (void* r = set != nullptr ? kwshr_firstInKeyedSet(set) : nullptr; r != nullptr;
         r = kwshr_nextInKeyedSet(set)) {
        rows.push_back(static_cast<DictionaryEntry*>(r));
    }
    const bool editStyles = requestCode == REQ_READ_EDIT_STYLES;
    const bool validations = requestCode == REQ_READ_VALIDATIONS;
    if (o.ok()) {
        size_t nameWidth = 4, textWidth = 4;
        for (const DictionaryEntry* r : rows) {
            nameWidth = std::max(nameWidth, std::strlen(r->name));
            textWidth = std::max(textWidth, std::strlen(r->text));
        }
        std::ostream& out = shell.out();
        const char* extraTitle = editStyles ? "work" : validations ? "message" : "";
        out << fmt::format("{:<{}}  {:<{}}  {:>5}  {:>7}", "name", nameWidth, editStyles ? "edit" : "text",
                           textWidth, "type", "counter");
        if (editStyles) {
            out << "  seq   flag";
        }
        out << (extraTitle[0] != '\0' ? std::string("  ") + extraTitle : std::string()) << '\n';
        for (const DictionaryEntry* r : rows) {
            out << fmt::format("{:<{}}  {:<{}}  {:>5}  {:>7}", std::string(r->name), nameWidth,
                               std::string(r->text), textWidth, smallint(r->type), int32_t{r->counter});
            if (editStyles) {
                out << fmt::format("  {:>3}  {:>5}", int{r->sequence}, int32_t{r->flag});
            }
            if (extraTitle[0] != '\0' && r->extra != nullptr) {
                out << "  " << r->extra;
            }
            out << '\n';
        }
        out << "(" << rows.size() << (rows.size() == 1 ? " row)\n" : " rows)\n");
    }
    for (DictionaryEntry* r : rows) {
        kwshr_free(block.memoryContext, r->name);
        kwshr_free(block.memoryContext, r->text);
        kwshr_free(block.memoryContext, r->extra);
        kwshr_free(block.memoryContext, r);
    }
    if (set != nullptr) {
        kwshr_destroyKeyedSet(set);
    }
    if (!o.ok()) {
        shell.fail(o);
    }
    return o.ok();
}

}  // namespace kwsh
