// ddl.cpp - the DDL translator.
//
// A DB2 CREATE TABLE becomes: the creator's schema made on first use and the IN clause checked
// against the registry (setup); CREATE TABLE with the columns (statement); the primary key under a
// name of our own, the foreign keys, the table space record and the hand-over to the creator
// (after). Keys are added after the table so that a table can refer to itself. Generated SQL
// quotes every name in its PostgreSQL form; the helper routines are in gateway/sql.
#include "ddl.h"

#include <optional>
#include <string>

#include "expr.h"
#include "failure.h"
#include "names.h"
#include "sqltext.h"
#include "types.h"

namespace gw::dialect {
namespace {

struct ForeignKey {
    Ident name;
    std::vector<Ident> columns;
    QualifiedName parent;
    std::vector<Ident> parentColumns;
    std::string rule;  // CASCADE, SET NULL or RESTRICT
};

struct TableSpace {
    std::string database;    // DB2 name; empty: DSNDB04
    std::string tablespace;  // DB2 name; empty: the table's own
};

std::string nameList(const std::vector<Ident>& names) {
    std::string out;
    for (const Ident& n : names) {
        out += (out.empty() ? "" : ", ") + n.sql();
    }
    return out;
}

std::vector<std::string> pgLiterals(const std::vector<Ident>& names) {
    std::vector<std::string> out;
    for (const Ident& n : names) {
        out.push_back(quoteLiteral(n.pg()));
    }
    return out;
}

const std::string& requireAuthId(const Context& context) {
    if (context.authId.empty()) {
        throw Failure{-901, "THE STATEMENT NEEDS AN AUTHORIZATION ID AND THE SESSION HAS NONE"};
    }
    return context.authId;
}

// The schema literal of a qualified name, for helper calls.
std::string schemaLiteral(const QualifiedName& q) {
    return quoteLiteral(q.creator.pg());
}
std::string nameLiteral(const QualifiedName& q) {
    return quoteLiteral(q.name.pg());
}

// The raw token range of the parenthesized group the cursor stands on; the cursor moves past it.
std::pair<size_t, size_t> groupRange(Cursor& cursor) {
    const size_t begin = cursor.rawIndex();
    cursor.skipGroup();
    return {begin, cursor.rawIndex()};
}

// WITH DEFAULT's optional constant: a string or number, NULL, USER or a CURRENT register.
std::string defaultConstant(Cursor& cursor, const std::vector<Token>& tokens, TypeKind kind) {
    const size_t begin = cursor.rawIndex();
    const Token& t = cursor.peek();
    if (t.kind == TokenKind::String) {
        const std::string typed = isDatetime(kind) ? datetimeLiteral(t.text) : "";
        cursor.advance();
        return typed.empty() ? std::string(t.text) : typed;
    }
    if (cursor.isOperator("+") || cursor.isOperator("-")) {
        cursor.advance();
    }
    if (cursor.peek().kind == TokenKind::Number || cursor.isKeyword("NULL") || cursor.isKeyword("USER")) {
        cursor.advance();
    } else if (cursor.isKeyword("CURRENT")) {
        cursor.advance();
        cursor.advance();
    } else if (cursor.rawIndex() != begin) {
        cursor.fail();
    }
    return rewriteSql(tokens, begin, cursor.rawIndex(), RewriteMode::Dml);
}

// name type [NOT NULL] [WITH DEFAULT [constant]] [FOR ... DATA], as "name" type NOT NULL DEFAULT x.
// ALTER TABLE ADD refuses NOT NULL without a default (-193), as DB2 does for a table that may hold rows.
std::string columnDefinition(Cursor& cursor, const std::vector<Token>& tokens, bool alterAdd) {
    const Ident name = cursor.expectName(kMaxLongName);
    const ColumnType type = parseColumnType(cursor);
    bool notNull = false;
    std::optional<std::string> defaultSql;
    for (;;) {
        if (cursor.acceptKeyword("NOT")) {
            cursor.expectKeyword("NULL");
            notNull = true;
        } else if (cursor.isKeyword("WITH") && cursor.isKeyword("DEFAULT", 1)) {
            cursor.advance();
            cursor.advance();
            defaultSql = defaultConstant(cursor, tokens, type.kind);
        } else if (cursor.acceptKeyword("DEFAULT")) {
            defaultSql = defaultConstant(cursor, tokens, type.kind);
        } else if (cursor.isKeyword("FIELDPROC")) {
            throw unacceptableStatement("FIELDPROC");
        } else {
            break;
        }
    }
    if (alterAdd && notNull && !defaultSql) {
        throw Failure{-193, "THE NOT NULL SPECIFICATION FOR COLUMN " + name.db2 +
                                " IS ONLY ALLOWED IN ALTER TABLE WITH DEFAULT"};
    }
    std::string sql = name.sql() + " " + type.pg;
    if (notNull) {
        sql += " NOT NULL";
    }
    if (defaultSql) {
        sql += " DEFAULT " + (defaultSql->empty() ? neutralDefault(type.kind) : *defaultSql);
    }
    return sql;
}

// FOREIGN KEY [name] (c...) REFERENCES [creator.]table [(c...)] [ON DELETE rule]; the cursor stands
// on FOREIGN. Without a name DB2 names the key after its first column.
ForeignKey foreignKey(Cursor& cursor, const std::string& authId, std::optional<Ident> name) {
    cursor.expectKeyword("FOREIGN");
    cursor.expectKeyword("KEY");
    if (!name && cursor.isName()) {
        name = cursor.expectName(kMaxShortName);
    }
    ForeignKey key;
    key.columns = cursor.expectNameList(kMaxLongName);
    cursor.expectKeyword("REFERENCES");
    key.parent = cursor.expectQualifiedName(authId);
    if (cursor.isOperator("(")) {
        key.parentColumns = cursor.expectNameList(kMaxLongName);
    }
    key.rule = "RESTRICT";
    if (cursor.acceptKeyword("ON")) {
        cursor.expectKeyword("DELETE");
        if (cursor.acceptKeyword("CASCADE")) {
            key.rule = "CASCADE";
        } else if (cursor.acceptKeyword("SET")) {
            cursor.expectKeyword("NULL");
            key.rule = "SET NULL";
        } else if (cursor.acceptKeyword("NO")) {
            cursor.expectKeyword("ACTION");
        } else {
            cursor.expectKeyword("RESTRICT");
        }
    }
    if (name) {
        key.name = *name;
    } else {
        std::string derived;
        for (char c : key.columns.front().db2) {
            if (charCount(derived + c) > kMaxShortName) {
                break;
            }
            derived += c;
        }
        key.name = Ident{derived, key.columns.front().delimited};
    }
    return key;
}

std::string addForeignKeySql(const QualifiedName& table, const ForeignKey& key) {
    std::string sql = "ALTER TABLE " + table.sql() + " ADD CONSTRAINT " + key.name.sql() + " FOREIGN KEY (" +
                      nameList(key.columns) + ") REFERENCES " + key.parent.sql();
    if (!key.parentColumns.empty()) {
        sql += " (" + nameList(key.parentColumns) + ")";
    }
    return sql + " ON DELETE " + key.rule;
}

std::string addPrimaryKeyCall(const QualifiedName& table, const std::vector<Ident>& columns) {
    std::vector<std::string> args = {schemaLiteral(table), nameLiteral(table)};
    for (const std::string& c : pgLiterals(columns)) {
        args.push_back(c);
    }
    return procedureCall("kwgw.add_primary_key", args);
}

// IN DATABASE d | IN d.ts | IN ts, and the DB2 options that change nothing here.
std::optional<TableSpace> tableOptions(Cursor& cursor) {
    std::optional<TableSpace> space;
    while (!cursor.atEnd() && !cursor.isOperator(";")) {
        if (cursor.acceptKeyword("IN")) {
            TableSpace s;
            if (cursor.acceptKeyword("DATABASE")) {
                s.database = cursor.expectName(kMaxShortName).db2;
            } else {
                const Ident first = cursor.expectName(kMaxShortName);
                if (cursor.acceptOperator(".")) {
                    s.database = first.db2;
                    s.tablespace = cursor.expectName(kMaxShortName).db2;
                } else {
                    s.tablespace = first.db2;
                }
            }
            space = s;
        } else if (cursor.isKeyword("EDITPROC") || cursor.isKeyword("VALIDPROC")) {
            throw unacceptableStatement(upperAscii(cursor.peek().text));
        } else if (cursor.acceptKeyword("AUDIT") || cursor.acceptKeyword("OBID") ||
                   cursor.acceptKeyword("CCSID")) {
            cursor.advance();
        } else if (cursor.acceptKeyword("DATA")) {
            cursor.expectKeyword("CAPTURE");
            cursor.advance();
        } else if (cursor.acceptKeyword("WITH")) {
            cursor.expectKeyword("RESTRICT");
            cursor.expectKeyword("ON");
            cursor.expectKeyword("DROP");
        } else {
            cursor.fail();
        }
    }
    cursor.expectEnd();
    return space;
}

// After a CREATE under another creator than the session's SQLID, the object goes to that creator.
void handOver(Plan& plan, std::string_view kind, const QualifiedName& object, const std::string& authId) {
    if (object.creator.db2 != authId) {
        plan.after.push_back("ALTER " + std::string(kind) + " " + object.sql() + " OWNER TO " +
                             object.creator.sql());
    }
}

struct TableBody {
    std::vector<std::string> elements;  // columns and check constraints, as SQL
    std::vector<Ident> primaryKey;
    std::vector<ForeignKey> foreignKeys;
};

void tableElement(Cursor& cursor, const std::vector<Token>& tokens, const std::string& authId,
                  TableBody& body) {
    std::optional<Ident> constraint;
    if (cursor.acceptKeyword("CONSTRAINT")) {
        constraint = cursor.expectName(kMaxShortName);
    }
    if (cursor.isKeyword("PRIMARY")) {
        cursor.advance();
        cursor.expectKeyword("KEY");
        if (!body.primaryKey.empty()) {
            throw Failure{-624, "THE TABLE ALREADY HAS A PRIMARY KEY"};
        }
        body.primaryKey = cursor.expectNameList(kMaxLongName);
    } else if (cursor.isKeyword("FOREIGN")) {
        body.foreignKeys.push_back(foreignKey(cursor, authId, constraint));
    } else if (cursor.acceptKeyword("CHECK")) {
        const auto [begin, end] = groupRange(cursor);
        body.elements.push_back((constraint ? "CONSTRAINT " + constraint->sql() + " " : std::string()) +
                                "CHECK " + rewriteSql(tokens, begin, end, RewriteMode::Dml));
    } else if (constraint) {
        cursor.fail();
    } else {
        body.elements.push_back(columnDefinition(cursor, tokens, false));
    }
}

Plan createTable(Cursor& cursor, const std::vector<Token>& tokens, const std::string& authId) {
    const QualifiedName table = cursor.expectQualifiedName(authId);
    TableBody body;
    std::string statement = "CREATE TABLE " + table.sql() + " (";
    if (cursor.acceptKeyword("LIKE")) {
        statement += "LIKE " + cursor.expectQualifiedName(authId).sql() + " INCLUDING DEFAULTS)";
    } else {
        cursor.expectOperator("(");
        do {
            tableElement(cursor, tokens, authId, body);
        } while (cursor.acceptOperator(","));
        cursor.expectOperator(")");
        std::string elements;
        for (const std::string& e : body.elements) {
            elements += (elements.empty() ? "" : ", ") + e;
        }
        statement += elements + ")";
    }
    const std::optional<TableSpace> space = tableOptions(cursor);

    Plan plan;
    plan.setup.push_back(selectCall("kwgw.ensure_creator", {schemaLiteral(table)}));
    if (space) {
        plan.setup.push_back(selectCall("kwgw.check_space",
                                        {literalOrNull(space->database), literalOrNull(space->tablespace)}));
    }
    plan.statement = statement;
    if (!body.primaryKey.empty()) {
        plan.after.push_back(addPrimaryKeyCall(table, body.primaryKey));
    }
    for (const ForeignKey& key : body.foreignKeys) {
        plan.after.push_back(addForeignKeySql(table, key));
    }
    if (space) {
        plan.after.push_back(selectCall(
            "kwgw.record_table", {schemaLiteral(table), nameLiteral(table), literalOrNull(space->database),
                                  literalOrNull(space->tablespace)}));
    }
    handOver(plan, "TABLE", table, authId);
    return plan;
}

// The stretch of a CREATE VIEW after AS, without a final WITH CHECK OPTION.
struct ViewBody {
    size_t begin;
    size_t end;
    bool checkOption;
};

ViewBody viewBody(Cursor& cursor, const std::vector<Token>& tokens) {
    ViewBody body{cursor.rawIndex(), tokens.size(), false};
    std::vector<size_t> tail;  // the last significant tokens, ; excluded
    for (size_t i = body.begin; i < tokens.size(); ++i) {
        if (isSignificant(tokens[i]) && tokens[i].text != ";") {
            tail.push_back(i);
        } else if (tokens[i].text == ";") {
            body.end = std::min(body.end, i);
        }
    }
    if (tail.size() >= 4 && isKeyword(tokens[tail[tail.size() - 3]], "WITH") &&
        isKeyword(tokens[tail[tail.size() - 2]], "CHECK") && isKeyword(tokens[tail.back()], "OPTION")) {
        body.checkOption = true;
        body.end = tail[tail.size() - 3];
    }
    if (tail.empty()) {
        cursor.fail();
    }
    return body;
}

std::string trimmedStatement(std::string_view statement) {
    size_t end = statement.size();
    while (end > 0 && (statement[end - 1] == ';' || statement[end - 1] == ' ' || statement[end - 1] == '\n' ||
                       statement[end - 1] == '\r' || statement[end - 1] == '\t')) {
        --end;
    }
    size_t begin = 0;
    while (begin < end && (statement[begin] == ' ' || statement[begin] == '\n' || statement[begin] == '\r' ||
                           statement[begin] == '\t')) {
        ++begin;
    }
    return std::string(statement.substr(begin, end - begin));
}

Plan createView(Cursor& cursor, const std::vector<Token>& tokens, const std::string& authId,
                std::string_view statement) {
    const QualifiedName view = cursor.expectQualifiedName(authId);
    std::vector<Ident> columns;
    if (cursor.isOperator("(")) {
        columns = cursor.expectNameList(kMaxLongName);
    }
    cursor.expectKeyword("AS");
    const ViewBody body = viewBody(cursor, tokens);

    Plan plan;
    plan.setup.push_back(selectCall("kwgw.ensure_creator", {schemaLiteral(view)}));
    plan.statement = "CREATE VIEW " + view.sql() + (columns.empty() ? "" : " (" + nameList(columns) + ")") +
                     " AS " + rewriteSql(tokens, body.begin, body.end, RewriteMode::Dml);
    while (!plan.statement.empty() && (plan.statement.back() == ' ' || plan.statement.back() == '\n')) {
        plan.statement.pop_back();
    }
    if (body.checkOption) {
        plan.statement += " WITH CASCADED CHECK OPTION";
    }
    plan.after.push_back(selectCall("kwgw.record_view", {schemaLiteral(view), nameLiteral(view),
                                                         quoteLiteral(trimmedStatement(statement)),
                                                         quoteLiteral(body.checkOption ? "Y" : "N")}));
    handOver(plan, "VIEW", view, authId);
    return plan;
}

// The DB2 storage options after an index's column list; answers whether CLUSTER was among them.
bool indexOptions(Cursor& cursor) {
    bool cluster = false;
    while (!cursor.atEnd() && !cursor.isOperator(";")) {
        if (cursor.acceptKeyword("CLUSTER")) {
            cluster = true;
        } else if (cursor.isOperator("(")) {
            cursor.skipGroup();
        } else if (cursor.peek().kind == TokenKind::Word || cursor.peek().kind == TokenKind::Number) {
            cursor.advance();
        } else {
            cursor.fail();
        }
    }
    cursor.expectEnd();
    return cluster;
}

Plan createIndex(Cursor& cursor, const std::string& authId, bool unique) {
    const QualifiedName index = cursor.expectQualifiedName(authId);
    cursor.expectKeyword("ON");
    const QualifiedName table = cursor.expectQualifiedName(authId);
    std::string keys;
    cursor.expectOperator("(");
    do {
        keys += (keys.empty() ? "" : ", ") + cursor.expectName(kMaxLongName).sql();
        if (cursor.acceptKeyword("DESC")) {
            keys += " DESC";
        } else {
            cursor.acceptKeyword("ASC");
        }
    } while (cursor.acceptOperator(","));
    cursor.expectOperator(")");
    const bool cluster = indexOptions(cursor);

    Plan plan;
    plan.statement = std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " + index.name.sql() +
                     " ON " + table.sql() + " (" + keys + ")";
    plan.after.push_back(procedureCall(
        "kwgw.index_created",
        {schemaLiteral(table), nameLiteral(index), schemaLiteral(index), cluster ? "true" : "false"}));
    return plan;
}

// CREATE DATABASE d ... and CREATE TABLESPACE ts [IN d] ...: only the names matter here.
Plan createDatabase(Cursor& cursor) {
    const Ident database = cursor.expectName(kMaxShortName);
    Plan plan;
    plan.statement = procedureCall("kwgw.create_database", {quoteLiteral(database.db2)});
    return plan;
}

Plan createTablespace(Cursor& cursor) {
    const Ident tablespace = cursor.expectName(kMaxShortName);
    std::string database = "DSNDB04";
    if (cursor.acceptKeyword("IN")) {
        database = cursor.expectName(kMaxShortName).db2;
    }
    Plan plan;
    plan.statement =
        procedureCall("kwgw.create_tablespace", {quoteLiteral(database), quoteLiteral(tablespace.db2)});
    return plan;
}

// What one ALTER TABLE statement does; DB2 statements carry one kind of change.
struct Alteration {
    std::vector<std::string> addColumns;
    std::vector<Ident> primaryKey;
    std::optional<ForeignKey> foreignKey;
    bool dropPrimaryKey = false;
    std::optional<Ident> dropForeignKey;
    bool optionsOnly = false;

    int kinds() const {
        return !addColumns.empty() + !primaryKey.empty() + foreignKey.has_value() + dropPrimaryKey +
               dropForeignKey.has_value() + optionsOnly;
    }
};

void alterClause(Cursor& cursor, const std::vector<Token>& tokens, const std::string& authId, Alteration& a) {
    const bool add = cursor.acceptKeyword("ADD");
    if (cursor.isKeyword("PRIMARY")) {
        cursor.advance();
        cursor.expectKeyword("KEY");
        a.primaryKey = cursor.expectNameList(kMaxLongName);
    } else if (cursor.isKeyword("FOREIGN") || cursor.isKeyword("CONSTRAINT")) {
        std::optional<Ident> name;
        if (cursor.acceptKeyword("CONSTRAINT")) {
            name = cursor.expectName(kMaxShortName);
        }
        a.foreignKey = foreignKey(cursor, authId, name);
    } else if (add) {
        cursor.acceptKeyword("COLUMN");
        a.addColumns.push_back(columnDefinition(cursor, tokens, true));
    } else if (cursor.acceptKeyword("DROP")) {
        if (cursor.acceptKeyword("PRIMARY")) {
            cursor.expectKeyword("KEY");
            a.dropPrimaryKey = true;
        } else {
            if (!cursor.acceptKeyword("CONSTRAINT")) {
                cursor.expectKeyword("FOREIGN");
                cursor.expectKeyword("KEY");
            }
            a.dropForeignKey = cursor.expectName(kMaxShortName);
        }
    } else if (cursor.acceptKeyword("VALIDPROC") || cursor.acceptKeyword("AUDIT")) {
        cursor.advance();
        a.optionsOnly = true;
    } else if (cursor.acceptKeyword("DATA")) {
        cursor.expectKeyword("CAPTURE");
        cursor.advance();
        a.optionsOnly = true;
    } else {
        cursor.fail();
    }
}

Plan alterTable(Cursor& cursor, const std::vector<Token>& tokens, const std::string& authId) {
    const QualifiedName table = cursor.expectQualifiedName(authId);
    Alteration a;
    do {
        alterClause(cursor, tokens, authId, a);
    } while (!cursor.atEnd() && !cursor.isOperator(";") && a.kinds() == 1 && !a.addColumns.empty());
    cursor.expectEnd();
    if (a.kinds() != 1) {
        cursor.fail();
    }
    const std::vector<std::string> names = {schemaLiteral(table), nameLiteral(table)};
    Plan plan;
    if (!a.addColumns.empty()) {
        plan.statement = "ALTER TABLE " + table.sql();
        for (size_t i = 0; i < a.addColumns.size(); ++i) {
            plan.statement += std::string(i == 0 ? "" : ",") + " ADD COLUMN " + a.addColumns[i];
        }
    } else if (!a.primaryKey.empty()) {
        plan.statement = addPrimaryKeyCall(table, a.primaryKey);
    } else if (a.foreignKey) {
        plan.statement = addForeignKeySql(table, *a.foreignKey);
    } else if (a.dropPrimaryKey) {
        plan.statement = procedureCall("kwgw.drop_primary_key", names);
    } else if (a.dropForeignKey) {
        plan.statement = "ALTER TABLE " + table.sql() + " DROP CONSTRAINT " + a.dropForeignKey->sql();
    } else {
        plan.statement = procedureCall("kwgw.check_table", names);
    }
    return plan;
}

}  // namespace

Plan translateCreate(Cursor& cursor, const std::vector<Token>& tokens, const Context& context,
                     std::string_view statement) {
    if (cursor.acceptKeyword("TABLE")) {
        return createTable(cursor, tokens, requireAuthId(context));
    }
    if (cursor.acceptKeyword("VIEW")) {
        return createView(cursor, tokens, requireAuthId(context), statement);
    }
    const bool unique = cursor.acceptKeyword("UNIQUE");
    if (cursor.acceptKeyword("INDEX")) {
        return createIndex(cursor, requireAuthId(context), unique);
    }
    if (unique) {
        cursor.fail();
    }
    if (cursor.acceptKeyword("DATABASE")) {
        return createDatabase(cursor);
    }
    if (cursor.acceptKeyword("TABLESPACE")) {
        return createTablespace(cursor);
    }
    if (cursor.isKeyword("SYNONYM") || cursor.isKeyword("ALIAS") || cursor.isKeyword("STOGROUP")) {
        throw unacceptableStatement("CREATE " + upperAscii(cursor.peek().text));
    }
    cursor.fail();
}

Plan translateAlter(Cursor& cursor, const std::vector<Token>& tokens, const Context& context) {
    if (cursor.acceptKeyword("TABLE")) {
        return alterTable(cursor, tokens, requireAuthId(context));
    }
    if (cursor.isName()) {
        throw unacceptableStatement("ALTER " + upperAscii(cursor.peek().text));
    }
    cursor.fail();
}

Plan translateDrop(Cursor& cursor, const Context& context) {
    Plan plan;
    const bool table = cursor.acceptKeyword("TABLE");
    const bool view = !table && cursor.acceptKeyword("VIEW");
    if (table || view) {
        const QualifiedName object = cursor.expectQualifiedName(requireAuthId(context));
        cursor.expectEnd();
        // DB2 drops what depends on the object: views, indexes, privileges, referential constraints.
        plan.statement = std::string(view ? "DROP VIEW " : "DROP TABLE ") + object.sql() + " CASCADE";
        return plan;
    }
    if (cursor.acceptKeyword("INDEX")) {
        const QualifiedName index = cursor.expectQualifiedName(requireAuthId(context));
        cursor.expectEnd();
        plan.statement = procedureCall("kwgw.drop_index", {schemaLiteral(index), nameLiteral(index)});
        return plan;
    }
    if (cursor.isName()) {
        throw unacceptableStatement("DROP " + upperAscii(cursor.peek().text));
    }
    cursor.fail();
}

}  // namespace gw::dialect
