// expr.cpp - the token-by-token rewriter for DB2 queries, DML and expressions.
//
// One pass over the tokens with a stack of parenthesized groups (what each group is: a VALUES
// row, an IN list, a function's arguments) and the previous significant token, which is all the
// context the rewrites need, plus one look ahead over the statement's own select list to find
// its derived columns. Names longer than 18 characters (8 for the creator of a table in a FROM,
// INTO or UPDATE clause, or of a three-part column name) are refused with -107 before PostgreSQL
// could truncate them. String and numeric constants are only ever wrapped, never changed.
#include "expr.h"

#include <algorithm>
#include <array>
#include <optional>

#include "failure.h"
#include "names.h"

namespace gw::dialect {
namespace {

enum class FunctionShape {
    Plain,     // NAME(args) -> kwgw_fn.name(args)
    Coalesce,  // VALUE(args) -> COALESCE(args)
    Format,    // CHAR(x, ISO|USA|EUR|JIS|LOCAL): the format keyword becomes a string
    Decimal,   // DECIMAL(x, p[, s]) with constant p, s keeps the precision: CAST(... AS NUMERIC(p,s))
    Substr,    // SUBSTR(s, b, n) with constant n is a VARCHAR(n)
    Integer,   // COUNT(...) is an INTEGER, as DB2 counts: CAST(... AS INTEGER)
};

struct FunctionRule {
    std::string_view db2;
    std::string_view pg;
    FunctionShape shape;
};

// DB2 scalar functions, called qualified: several are PostgreSQL keywords or built-ins with
// other results (LENGTH of a CHAR value, SUBSTR past the end, CHAR of a date).
const std::array<FunctionRule, 24> kFunctions = {{
    {"CHAR", "kwgw_fn.char", FunctionShape::Format},
    {"COUNT", "COUNT", FunctionShape::Integer},
    {"DATE", "kwgw_fn.date", FunctionShape::Plain},
    {"DAY", "kwgw_fn.day", FunctionShape::Plain},
    {"DAYS", "kwgw_fn.days", FunctionShape::Plain},
    {"DEC", "kwgw_fn.decimal", FunctionShape::Decimal},
    {"DECIMAL", "kwgw_fn.decimal", FunctionShape::Decimal},
    {"DIGITS", "kwgw_fn.digits", FunctionShape::Plain},
    {"FLOAT", "kwgw_fn.float", FunctionShape::Plain},
    {"HEX", "kwgw_fn.hex", FunctionShape::Plain},
    {"HOUR", "kwgw_fn.hour", FunctionShape::Plain},
    {"INT", "kwgw_fn.integer", FunctionShape::Plain},
    {"INTEGER", "kwgw_fn.integer", FunctionShape::Plain},
    {"LENGTH", "kwgw_fn.length", FunctionShape::Plain},
    {"MICROSECOND", "kwgw_fn.microsecond", FunctionShape::Plain},
    {"MINUTE", "kwgw_fn.minute", FunctionShape::Plain},
    {"MONTH", "kwgw_fn.month", FunctionShape::Plain},
    {"SECOND", "kwgw_fn.second", FunctionShape::Plain},
    {"SUBSTR", "kwgw_fn.substr", FunctionShape::Substr},
    {"SUM", "kwgw_fn.sum", FunctionShape::Plain},
    {"TIME", "kwgw_fn.time", FunctionShape::Plain},
    {"TIMESTAMP", "kwgw_fn.timestamp", FunctionShape::Plain},
    {"VALUE", "COALESCE", FunctionShape::Coalesce},
    {"YEAR", "kwgw_fn.year", FunctionShape::Plain},
}};
static_assert(kFunctions.size() == 24);

struct Register {
    std::string_view name;  // the word after CURRENT
    std::string_view pg;
};

const std::array<Register, 6> kCurrentRegisters = {{
    {"DATE", "CURRENT_DATE"},
    {"TIME", "LOCALTIME(0)"},
    {"TIMESTAMP", "LOCALTIMESTAMP"},
    {"TIMEZONE", "CAST(kwgw_fn.current_timezone() AS NUMERIC(6,0))"},
    {"SQLID", "CAST(kwgw.db2name(CURRENT_USER) AS CHAR(8))"},
    {"SERVER", "CAST(upper(current_database()) AS CHAR(16))"},
}};
static_assert(kCurrentRegisters.size() == 6);

constexpr std::string_view kUserRegister = "CAST(kwgw.db2name(SESSION_USER) AS CHAR(8))";

// Words PostgreSQL reserves that are no DB2 keyword in a query, so they can only be column or
// correlation names there: they are quoted.
const std::array<std::string_view, 40> kPgReservedNames = {
    "ANALYSE",     "ANALYZE",   "ARRAY",        "ASYMMETRIC", "BINARY",          "BOTH",         "CHECK",
    "COLLATE",     "COLLATION", "CONCURRENTLY", "CONSTRAINT", "CURRENT_CATALOG", "CURRENT_ROLE", "DEFAULT",
    "DEFERRABLE",  "DO",        "FETCH",        "FOREIGN",    "FREEZE",          "ILIKE",        "INITIALLY",
    "ISNULL",      "LATERAL",   "LEADING",      "LIMIT",      "NOTNULL",         "OFFSET",       "ONLY",
    "OVERLAPS",    "PLACING",   "PRIMARY",      "REFERENCES", "RETURNING",       "SIMILAR",      "SYMMETRIC",
    "TABLESAMPLE", "TRAILING",  "VARIADIC",     "VERBOSE",    "WINDOW",
};
static_assert(kPgReservedNames.size() == 40);

const std::array<std::string_view, 11> kComparisons = {
    "=", "<>", "<", ">", "<=", ">=", "!=", "^=", "\xC2\xAC=", "\xC2\xAC<", "\xC2\xAC>"};
static_assert(kComparisons.size() == 11);

// DB2's not-comparisons in PostgreSQL spelling.
struct OperatorRule {
    std::string_view db2;
    std::string_view pg;
};
const std::array<OperatorRule, 4> kOperators = {{
    {"\xC2\xAC=", "<>"},
    {"\xC2\xAC<", ">="},
    {"\xC2\xAC>", "<="},
    {"^=", "<>"},
}};
static_assert(kOperators.size() == 4);

const std::array<std::string_view, 5> kDatetimeFormats = {"ISO", "USA", "EUR", "JIS", "LOCAL"};
const std::array<std::string_view, 4> kIsolationClauses = {"UR", "CS", "RR", "RS"};

// The DB2 datetime string forms PostgreSQL does not read, as runs of digits and separators.
// (Matched by hand: the forms are fixed, and GCC 12's <regex> does not build warning-free.)
struct DigitRun {
    int min;
    int max;
    char separator;  // the character that follows the run, or 0 for the last run
};

struct DatetimeShape {
    std::array<DigitRun, 6> runs;
    int count;
    bool fraction;  // may end in . and 1 to 6 digits
    std::string_view constructor;
    std::string_view iso;  // the ISO form: digits name runs by number, other characters stay
};

const std::array<DatetimeShape, 4> kDatetimeShapes = {{
    {{{{4, 4, '-'}, {1, 2, '-'}, {1, 2, '-'}, {1, 2, '.'}, {2, 2, '.'}, {2, 2, 0}}},
     6,
     true,
     "kwgw.timestamp_lit",
     "0-1-2 3:4:5"},
    {{{{1, 2, '.'}, {2, 2, '.'}, {2, 2, 0}}}, 3, false, "kwgw.time_lit", "0:1:2"},
    {{{{1, 2, '.'}, {1, 2, '.'}, {4, 4, 0}}}, 3, false, "kwgw.date_lit", "2-1-0"},
    {{{{1, 2, '/'}, {1, 2, '/'}, {4, 4, 0}}}, 3, false, "kwgw.date_lit", "2-0-1"},
}};
static_assert(kDatetimeShapes.size() == 4);

// Reads min..max digits at pos; answers the number read, or -1.
int digitRun(std::string_view text, size_t& pos, int min, int max) {
    int n = 0;
    while (pos < text.size() && n < max && text[pos] >= '0' && text[pos] <= '9') {
        ++pos;
        ++n;
    }
    return n >= min ? n : -1;
}

// Whether `text` has the shape; with `runs`, the digit runs it consists of (the fraction, with
// its point, last).
bool matchesShape(std::string_view text, const DatetimeShape& shape,
                  std::vector<std::string_view>* runs = nullptr) {
    size_t pos = 0;
    for (int i = 0; i < shape.count; ++i) {
        const DigitRun& run = shape.runs[static_cast<size_t>(i)];
        const size_t start = pos;
        if (digitRun(text, pos, run.min, run.max) < 0) {
            return false;
        }
        if (runs) {
            runs->push_back(text.substr(start, pos - start));
        }
        if (run.separator != 0) {
            if (pos >= text.size() || text[pos] != run.separator) {
                return false;
            }
            ++pos;
        }
    }
    if (shape.fraction && pos < text.size() && text[pos] == '.') {
        const size_t start = pos++;
        if (digitRun(text, pos, 1, 6) < 0) {
            return false;
        }
        if (runs) {
            runs->push_back(text.substr(start, pos - start));
        }
    }
    return pos == text.size();
}

template <size_t N>
bool contains(const std::array<std::string_view, N>& words, std::string_view word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

const FunctionRule* findFunction(std::string_view upperName) {
    for (const FunctionRule& rule : kFunctions) {
        if (rule.db2 == upperName) {
            return &rule;
        }
    }
    return nullptr;
}

enum class GroupKind { Statement, Other, Values, InList, Function, FormatFunction };

struct Group {
    GroupKind kind = GroupKind::Other;
    std::string closeSuffix;  // written after the group's ")"
    bool fromClause = false;  // a FROM list is being read at this level
};

struct PendingFunction {
    GroupKind kind;
    std::string closeSuffix;
};

bool isUnsignedInteger(const Token& token) {
    return token.kind == TokenKind::Number &&
           std::all_of(token.text.begin(), token.text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// DB2's largest DECIMAL precision; a longer constant is left for PostgreSQL to read as it will.
constexpr size_t kMaxDecimalDigits = 31;
constexpr std::string_view kLargestInteger = "2147483647";
// The label PostgreSQL gives a derived column it cannot name, which the result layer sends as
// no label at all, as DB2 does for every derived column.
constexpr std::string_view kNoLabel = " AS \"?column?\"";

// A numeric constant typed as DB2 types it: with a point, DECIMAL(p,s) with p its digits and s
// those after the point (1.5 is DECIMAL(2,1)); with an exponent, FLOAT; an integer past
// INTEGER's range, DECIMAL(p,0). Other integers are already INTEGER in PostgreSQL.
std::string numberConstant(std::string_view text) {
    if (text.find_first_of("Ee") != std::string_view::npos) {
        return "CAST(" + std::string(text) + " AS DOUBLE PRECISION)";
    }
    const size_t point = text.find('.');
    const size_t digits = text.size() - (point == std::string_view::npos ? 0 : 1);
    if (digits == 0 || digits > kMaxDecimalDigits) {
        return std::string(text);
    }
    if (point == std::string_view::npos) {
        const std::string_view significant = text.substr(std::min(text.find_first_not_of('0'), text.size()));
        const bool fits = significant.size() < kLargestInteger.size() ||
                          (significant.size() == kLargestInteger.size() && significant <= kLargestInteger);
        if (fits) {
            return std::string(text);
        }
        return "CAST(" + std::string(text) + " AS NUMERIC(" + std::to_string(digits) + ",0))";
    }
    const size_t scale = text.size() - point - 1;
    return "CAST(" + std::string(text) + " AS NUMERIC(" + std::to_string(digits) + "," +
           std::to_string(scale) + "))";
}

// A string constant as DB2 types it: VARCHAR of its length in bytes (a doubled quote is one).
std::string stringAsVarchar(std::string_view token) {
    size_t length = 0;
    for (size_t i = 1; i + 1 < token.size(); ++i) {
        if (token[i] == '\'' && token[i + 1] == '\'') {
            ++i;
        }
        ++length;
    }
    return "CAST(" + std::string(token) + " AS VARCHAR(" + std::to_string(std::max<size_t>(length, 1)) + "))";
}

// Words that stand alone for a value, not a column.
const std::array<std::string_view, 5> kValueWords = {"USER", "CURRENT_DATE", "CURRENT_TIME",
                                                     "CURRENT_TIMESTAMP", "NULL"};

class Rewriter {
  public:
    Rewriter(const std::vector<Token>& tokens, size_t begin, size_t end, RewriteMode mode)
        : t_(tokens), begin_(begin), end_(end), mode_(mode) {
        groups_.push_back(Group{GroupKind::Statement, "", false});
        if (dml() && begin_ == 0) {
            planSelectList();
        }
    }

    std::string run() {
        for (size_t i = begin_; i < end_; ++i) {
            if (!isSignificant(t_[i])) {
                out_ += t_[i].text;
                continue;
            }
            const size_t last = token(i);
            for (size_t item : unlabelled_) {
                if (item >= i && item <= last) {
                    out_ += kNoLabel;
                }
            }
            prev_ = last;
            i = last;
        }
        return out_;
    }

  private:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    const std::vector<Token>& t_;
    size_t begin_;
    size_t end_;
    RewriteMode mode_;
    std::string out_;
    std::vector<Group> groups_;
    std::optional<PendingFunction> pendingFunction_;
    std::vector<size_t> betweenDepths_;  // group depths whose BETWEEN still waits for its AND
    size_t betweenAnd_ = kNone;          // the AND that ends a BETWEEN
    GroupKind lastClosed_ = GroupKind::Other;
    size_t lastClosedDepth_ = 0;
    bool expectTable_ = false;
    size_t prev_ = kNone;
    std::vector<size_t> unlabelled_;  // last tokens of derived select-list columns without a name
    std::vector<size_t> literals_;    // select-list columns that are one string constant

    bool dml() const { return mode_ == RewriteMode::Dml; }

    // The select list of a query (the statement's own, not a subquery's): DB2 labels only the
    // columns it takes from a table or that a name is given to, and describes a string constant
    // as VARCHAR of its length, so every other column gets PostgreSQL's "no name" label and every
    // string-constant column a cast.
    void planSelectList() {
        size_t j = begin_;
        while (j < end_ && !isSignificant(t_[j])) {
            ++j;
        }
        if (j == end_ || !isWord(j, "SELECT")) {
            return;
        }
        j = next(j);
        if (isWord(j, "ALL") || isWord(j, "DISTINCT")) {
            j = next(j);
        }
        std::vector<size_t> item;
        int depth = 0;
        for (; j != kNone; j = next(j)) {
            if (isOp(j, "(")) {
                ++depth;
            } else if (isOp(j, ")")) {
                --depth;
            } else if (depth == 0 && (isOp(j, ",") || isOp(j, ";") || isWord(j, "FROM") ||
                                      isWord(j, "INTO") || isWord(j, "UNION"))) {
                selectItem(item);
                item.clear();
                if (!isOp(j, ",")) {
                    return;
                }
                continue;
            }
            item.push_back(j);
        }
        selectItem(item);
    }

    void selectItem(const std::vector<size_t>& item) {
        if (item.empty() || isColumn(item)) {
            return;
        }
        const bool named = isNamed(item);
        const size_t valueTokens = item.size() - (named ? (isWord(item[item.size() - 2], "AS") ? 2 : 1) : 0);
        if (valueTokens == 1 && t_[item[0]].kind == TokenKind::String) {
            literals_.push_back(item[0]);
        }
        if (!named) {
            unlabelled_.push_back(item.back());
        }
    }

    // A column of a table: NAME, T.NAME, C.T.NAME, or * and T.*.
    bool isColumn(const std::vector<size_t>& item) const {
        for (size_t k = 0; k < item.size(); ++k) {
            const bool nameSlot = k % 2 == 0;
            const size_t j = item[k];
            if (nameSlot ? !(isNameToken(j) || (isOp(j, "*") && k + 1 == item.size())) : !isOp(j, ".")) {
                return false;
            }
        }
        return item.size() % 2 == 1 && !(item.size() == 1 && t_[item[0]].kind == TokenKind::Word &&
                                         contains(kValueWords, upperAscii(t_[item[0]].text)));
    }

    // An expression followed by its name: `expr AS NAME` or `expr NAME`.
    bool isNamed(const std::vector<size_t>& item) const {
        if (item.size() < 2 || !isNameToken(item.back())) {
            return false;
        }
        const size_t before = item[item.size() - 2];
        if (isWord(before, "AS")) {
            return true;
        }
        const bool ends = isWord(item.back(), "END") || isWord(before, "CURRENT") || isWord(before, "CONCAT");
        return !ends && (t_[before].kind != TokenKind::Operator || isOp(before, ")"));
    }

    size_t next(size_t i, int n = 1) const {
        for (size_t j = i + 1; j < end_; ++j) {
            if (isSignificant(t_[j]) && --n == 0) {
                return j;
            }
        }
        return kNone;
    }

    bool isOp(size_t i, std::string_view op) const {
        return i != kNone && t_[i].kind == TokenKind::Operator && t_[i].text == op;
    }
    bool isWord(size_t i, std::string_view keyword) const { return i != kNone && isKeyword(t_[i], keyword); }
    bool isNameToken(size_t i) const {
        return i != kNone && (t_[i].kind == TokenKind::Word || t_[i].kind == TokenKind::Delimited);
    }
    bool isComparison(size_t i) const {
        return i != kNone && t_[i].kind == TokenKind::Operator && contains(kComparisons, t_[i].text);
    }
    bool isArithmetic(size_t i) const {
        return isOp(i, "||") || isOp(i, "+") || isOp(i, "-") || isOp(i, "*") || isOp(i, "/") ||
               isWord(i, "CONCAT");
    }

    // Handles the significant token at i; answers the index of the last token it used.
    size_t token(size_t i) {
        switch (t_[i].kind) {
            case TokenKind::Word:
                return word(i);
            case TokenKind::Delimited:
                name(i);
                return i;
            case TokenKind::String:
                if (std::find(literals_.begin(), literals_.end(), i) != literals_.end()) {
                    out_ += stringAsVarchar(t_[i].text);
                    return i;
                }
                out_ += dml() ? stringConstant(i) : std::string(t_[i].text);
                return i;
            case TokenKind::Number:
                out_ += dml() ? numberConstant(t_[i].text) : std::string(t_[i].text);
                return i;
            case TokenKind::Operator:
                op(i);
                return i;
            default:
                out_ += t_[i].text;
                return i;
        }
    }

    size_t word(size_t i) {
        const std::string upper = upperAscii(t_[i].text);
        if (dml()) {
            if (std::optional<size_t> last = dmlWord(i, upper)) {
                return *last;
            }
        }
        if (trackClauses(upper)) {
            out_ += t_[i].text;
        } else {
            name(i);
        }
        return i;
    }

    // The DB2-only words of a query; answers the last token used, or nothing when the word is an
    // ordinary name or keyword after all.
    std::optional<size_t> dmlWord(size_t i, const std::string& upper) {
        const size_t n1 = next(i);
        const bool qualified = isOp(prev_, ".");
        const bool call = isOp(n1, "(");
        if (upper == "CURRENT" && n1 != kNone && t_[n1].kind == TokenKind::Word) {
            const std::string reg = upperAscii(t_[n1].text);
            for (const Register& r : kCurrentRegisters) {
                if (r.name == reg) {
                    out_ += r.pg;
                    return n1;
                }
            }
        }
        if (upper == "CURRENT_TIME" && !qualified) {
            out_ += call ? "LOCALTIME" : "LOCALTIME(0)";
            return i;
        }
        if (upper == "CURRENT_TIMESTAMP" && !qualified) {
            out_ += "LOCALTIMESTAMP";
            return i;
        }
        if (upper == "USER" && !qualified && !isOp(n1, ".") && !call) {
            out_ += kUserRegister;
            return i;
        }
        if (upper == "CONCAT" && !call && !qualified) {
            out_ += "||";  // DB2's concatenation operator
            return i;
        }
        if (upper == "WITH" && n1 != kNone && contains(kIsolationClauses, upperAscii(t_[n1].text)) &&
            (next(n1) == kNone || isOp(next(n1), ";"))) {
            return n1;  // DB2's isolation clause: PostgreSQL runs every statement the same way
        }
        if (call && !qualified && !isWord(prev_, "AS")) {
            if (const FunctionRule* rule = findFunction(upper)) {
                function(*rule, n1);
                return i;
            }
        }
        if (groups_.back().kind == GroupKind::FormatFunction && contains(kDatetimeFormats, upper) &&
            isOp(prev_, ",") && isOp(n1, ")")) {
            out_ += quoteLiteral(upper);
            return i;
        }
        if (upper == "BETWEEN") {
            betweenDepths_.push_back(groups_.size());
        } else if (upper == "AND" && !betweenDepths_.empty() && betweenDepths_.back() == groups_.size()) {
            betweenDepths_.pop_back();
            betweenAnd_ = i;
        }
        if (contains(kPgReservedNames, upper) && !keepsReservedMeaning(i, upper)) {
            out_ += Ident{upper, false}.sql();
            return i;
        }
        return std::nullopt;
    }

    // FETCH FIRST n ROWS ONLY, and DEFAULT as a value to insert or assign, keep their meaning.
    bool keepsReservedMeaning(size_t i, std::string_view upper) const {
        const size_t n1 = next(i);
        if (upper == "FETCH") {
            return isWord(n1, "FIRST") || isWord(n1, "NEXT");
        }
        if (upper == "ONLY") {
            return isWord(prev_, "ROWS") || isWord(prev_, "ROW");
        }
        if (upper == "DEFAULT") {
            const GroupKind kind = groups_.back().kind;
            return isOp(prev_, "=") || (kind == GroupKind::Values && (isOp(prev_, "(") || isOp(prev_, ",")) &&
                                        (isOp(n1, ",") || isOp(n1, ")")));
        }
        return false;
    }

    // The name of a DB2 scalar function followed by its "(" at open.
    void function(const FunctionRule& rule, size_t open) {
        PendingFunction pending{
            rule.shape == FunctionShape::Format ? GroupKind::FormatFunction : GroupKind::Function, ""};
        const std::vector<std::vector<size_t>> args = arguments(open);
        if (rule.shape == FunctionShape::Decimal && (args.size() == 2 || args.size() == 3) &&
            constantArgs(args, 1)) {
            const std::string scale = args.size() == 3 ? std::string(t_[args[2][0]].text) : "0";
            out_ += "CAST(";
            pending.closeSuffix = " AS NUMERIC(" + std::string(t_[args[1][0]].text) + "," + scale + "))";
        } else if (rule.shape == FunctionShape::Integer) {
            out_ += "CAST(";
            pending.closeSuffix = " AS INTEGER)";
        } else if (rule.shape == FunctionShape::Substr && args.size() == 3 && constantArgs(args, 2) &&
                   t_[args[2][0]].text != "0" &&
                   t_[args[2][0]].text.find_first_not_of('0') != std::string_view::npos) {
            out_ += "CAST(";
            pending.closeSuffix = " AS VARCHAR(" + std::string(t_[args[2][0]].text) + "))";
        }
        out_ += rule.pg;
        pendingFunction_ = pending;
    }

    // Whether the arguments from index `from` on are each one unsigned integer constant.
    bool constantArgs(const std::vector<std::vector<size_t>>& args, size_t from) const {
        for (size_t a = from; a < args.size(); ++a) {
            if (args[a].size() != 1 || !isUnsignedInteger(t_[args[a][0]])) {
                return false;
            }
        }
        return true;
    }

    // The significant tokens of each top-level argument of the group opening at `open`.
    std::vector<std::vector<size_t>> arguments(size_t open) const {
        std::vector<std::vector<size_t>> args(1);
        int depth = 0;
        for (size_t j = open; j != kNone; j = next(j)) {
            if (isOp(j, "(")) {
                if (depth++ == 0) {
                    continue;
                }
            } else if (isOp(j, ")")) {
                if (--depth == 0) {
                    return args;
                }
            } else if (depth == 1 && isOp(j, ",")) {
                args.emplace_back();
                continue;
            }
            args.back().push_back(j);
        }
        return {};  // unbalanced: PostgreSQL will say so
    }

    // Where a FROM list starts and ends, so that table names in it get the creator check. Answers
    // whether the word is one of the clause keywords.
    bool trackClauses(std::string_view upper) {
        if (upper == "FROM" || upper == "JOIN" || upper == "INTO" || upper == "UPDATE" || upper == "TABLE") {
            expectTable_ = true;
            groups_.back().fromClause = upper == "FROM";
            return true;
        }
        if (upper == "WHERE" || upper == "GROUP" || upper == "HAVING" || upper == "ORDER" ||
            upper == "UNION" || upper == "EXCEPT" || upper == "INTERSECT" || upper == "ON" ||
            upper == "SET" || upper == "VALUES" || upper == "FOR" || upper == "WITH") {
            groups_.back().fromClause = false;
            expectTable_ = false;
            return true;
        }
        return false;
    }

    // An identifier: checked for length, mapped to its PostgreSQL form when that differs from
    // what PostgreSQL's own folding gives.
    void name(size_t i) {
        const Token& token = t_[i];
        const Ident id = identOf(token);
        checkLength(id, kMaxLongName);
        const size_t n1 = next(i);
        const bool qualifies = isOp(n1, ".") && isNameToken(next(i, 2));
        const bool tableCreator = expectTable_ && qualifies && !isOp(prev_, ".");
        const bool columnCreator =
            qualifies && !isOp(prev_, ".") && isOp(next(i, 3), ".") && isNameToken(next(i, 4));
        if (tableCreator || columnCreator) {
            checkLength(id, kMaxShortName);
        }
        if (!qualifies) {
            expectTable_ = false;  // the name ends the table reference
        }
        if (token.kind == TokenKind::Delimited || needsQuoting(token.text)) {
            out_ += id.sql();
        } else {
            out_ += token.text;
        }
    }

    void op(size_t i) {
        const std::string_view text = t_[i].text;
        if (text == "(") {
            open();
            return;
        }
        if (text == ")") {
            close();
            return;
        }
        if (text == "," && groups_.back().fromClause) {
            expectTable_ = true;
        }
        for (const OperatorRule& rule : kOperators) {
            if (rule.db2 == text) {
                out_ += rule.pg;
                return;
            }
        }
        out_ += text;
    }

    void open() {
        Group group;
        if (pendingFunction_) {
            group.kind = pendingFunction_->kind;
            group.closeSuffix = pendingFunction_->closeSuffix;
            pendingFunction_.reset();
        } else if (isWord(prev_, "VALUES") || (isOp(prev_, ",") && lastClosed_ == GroupKind::Values &&
                                               lastClosedDepth_ == groups_.size())) {
            group.kind = GroupKind::Values;
        } else if (isWord(prev_, "IN")) {
            group.kind = GroupKind::InList;
        }
        expectTable_ = false;
        groups_.push_back(group);
        out_ += "(";
    }

    void close() {
        out_ += ")";
        if (groups_.size() > 1) {
            out_ += groups_.back().closeSuffix;
            lastClosed_ = groups_.back().kind;
            groups_.pop_back();
            lastClosedDepth_ = groups_.size();
        }
    }

    // A DB2 datetime string constant is typed where a datetime value is compared or assigned:
    // after or before a comparison, in a BETWEEN, as an item of a VALUES row or an IN list.
    std::string stringConstant(size_t i) {
        const std::string typed = datetimeLiteral(t_[i].text);
        if (typed.empty()) {
            return std::string(t_[i].text);
        }
        const size_t n1 = next(i);
        const GroupKind kind = groups_.back().kind;
        const bool afterComparison = isComparison(prev_) || isWord(prev_, "BETWEEN") || prev_ == betweenAnd_;
        const bool listItem = (kind == GroupKind::Values || kind == GroupKind::InList) &&
                              (isOp(prev_, "(") || isOp(prev_, ",")) && (isOp(n1, ",") || isOp(n1, ")"));
        const bool beforeComparison = isComparison(n1) && !isArithmetic(prev_);
        if ((afterComparison && !isArithmetic(n1)) || listItem || beforeComparison) {
            return typed;
        }
        return std::string(t_[i].text);
    }
};

}  // namespace

std::string rewriteSql(const std::vector<Token>& tokens, std::size_t begin, std::size_t end,
                       RewriteMode mode) {
    return Rewriter(tokens, begin, std::min(end, tokens.size()), mode).run();
}

std::string datetimeLiteral(std::string_view stringToken) {
    if (stringToken.size() < 2) {
        return "";
    }
    const std::string_view text = stringToken.substr(1, stringToken.size() - 2);
    for (const DatetimeShape& shape : kDatetimeShapes) {
        if (matchesShape(text, shape)) {
            return std::string(shape.constructor) + "(" + std::string(stringToken) + ")";
        }
    }
    return "";
}

std::string isoDatetime(std::string_view value) {
    for (const DatetimeShape& shape : kDatetimeShapes) {
        std::vector<std::string_view> runs;
        if (!matchesShape(value, shape, &runs)) {
            continue;
        }
        std::string out;
        for (char c : shape.iso) {
            if (c >= '0' && c <= '9') {
                out += runs[static_cast<size_t>(c - '0')];
            } else {
                out += c;
            }
        }
        if (runs.size() > static_cast<size_t>(shape.count)) {
            out += runs.back();  // the fraction of a second
        }
        return out;
    }
    return "";
}

}  // namespace gw::dialect
