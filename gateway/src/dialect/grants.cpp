// grants.cpp - the GRANT / REVOKE translator.
//
// GRANT: the table's schema is opened to PUBLIC (DB2 has no schema privilege), the grantee roles
// are made on first use and the grantor's grant option is checked as DB2 checks it (setup); PostgreSQL's
// GRANT carries the privileges it knows, and REFERENCES for ALTER (statement); ALTER and INDEX are recorded
// by kwgw.grant_extra (after). PUBLIC never receives a grant option, as in DB2. REVOKE: one call of
// kwgw.revoke_privileges per table, which cascades and refuses a REVOKE that takes nothing away. Granting to
// or revoking from oneself is refused here (-554, -555).
#include "grants.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "failure.h"
#include "names.h"
#include "sqltext.h"

namespace gw::dialect {
namespace {

enum class Privilege { Alter, Delete, Index, Insert, Select, Update };

struct PrivilegeWord {
    std::string_view word;
    Privilege privilege;
};

const std::array<PrivilegeWord, 6> kPrivileges = {{
    {"ALTER", Privilege::Alter},
    {"DELETE", Privilege::Delete},
    {"INDEX", Privilege::Index},
    {"INSERT", Privilege::Insert},
    {"SELECT", Privilege::Select},
    {"UPDATE", Privilege::Update},
}};
static_assert(kPrivileges.size() == 6);

struct Privileges {
    bool all = false;
    std::array<bool, 6> held{};  // indexed by Privilege
    std::vector<Ident> updateColumns;

    bool has(Privilege p) const { return all || held[static_cast<size_t>(p)]; }
    bool explicitly(Privilege p) const { return held[static_cast<size_t>(p)]; }
};

// Objects other than tables that DB2 grants privileges on; not kept here.
const std::array<std::string_view, 6> kOtherObjects = {"DATABASE",   "PLAN",   "PACKAGE",
                                                       "COLLECTION", "SCHEMA", "PROCEDURE"};
static_assert(kOtherObjects.size() == 6);

// A grantee; no value is PUBLIC.
using Grantee = std::optional<Ident>;

const PrivilegeWord* privilegeWord(const Cursor& cursor) {
    for (const PrivilegeWord& p : kPrivileges) {
        if (cursor.isKeyword(p.word)) {
            return &p;
        }
    }
    return nullptr;
}

Privileges privileges(Cursor& cursor, bool columnsAllowed) {
    Privileges privs;
    if (cursor.acceptKeyword("ALL")) {
        cursor.acceptKeyword("PRIVILEGES");
        privs.all = true;
        return privs;
    }
    if (!privilegeWord(cursor)) {
        // Database, plan and system privileges (DBADM, CREATETAB, EXECUTE, ...) are not kept here.
        throw unacceptableStatement("GRANT OR REVOKE OF " + upperAscii(cursor.peek().text));
    }
    do {
        const PrivilegeWord* p = privilegeWord(cursor);
        if (!p) {
            cursor.fail();
        }
        cursor.advance();
        privs.held[static_cast<size_t>(p->privilege)] = true;
        if (p->privilege == Privilege::Update && cursor.isOperator("(")) {
            if (!columnsAllowed) {
                cursor.fail();
            }
            privs.updateColumns = cursor.expectNameList(kMaxLongName);
        }
    } while (cursor.acceptOperator(","));
    return privs;
}

std::vector<QualifiedName> tables(Cursor& cursor, const std::string& authId) {
    cursor.expectKeyword("ON");
    if (!cursor.acceptKeyword("TABLE")) {
        for (std::string_view kind : kOtherObjects) {
            if (cursor.isKeyword(kind) && cursor.isName(1) && !cursor.isKeyword("TO", 1) &&
                !cursor.isKeyword("FROM", 1)) {
                throw unacceptableStatement("PRIVILEGES ON " + std::string(kind));
            }
        }
    }
    std::vector<QualifiedName> names;
    do {
        names.push_back(cursor.expectQualifiedName(authId));
    } while (cursor.acceptOperator(","));
    return names;
}

std::vector<Grantee> grantees(Cursor& cursor) {
    std::vector<Grantee> list;
    do {
        if (cursor.acceptKeyword("PUBLIC")) {
            if (cursor.acceptKeyword("AT")) {  // PUBLIC AT ALL LOCATIONS: one location here
                cursor.expectKeyword("ALL");
                cursor.expectKeyword("LOCATIONS");
            }
            list.push_back(std::nullopt);
        } else {
            list.push_back(cursor.expectName(kMaxShortName));
        }
    } while (cursor.acceptOperator(","));
    return list;
}

void refuseSelf(const std::vector<Grantee>& list, const std::string& authId, int sqlcode,
                std::string_view verb) {
    for (const Grantee& g : list) {
        if (g && g->db2 == authId) {
            throw Failure{sqlcode, "AN AUTHORIZATION ID CANNOT " + std::string(verb) + " A PRIVILEGE " +
                                       (sqlcode == -554 ? "TO" : "FROM") + " ITSELF"};
        }
    }
}

std::string granteeLiteral(const Grantee& g) {
    return g ? quoteLiteral(g->pg()) : "NULL";
}

// The PostgreSQL privilege list: SELECT, INSERT, UPDATE [(columns)], DELETE, REFERENCES.
std::string pgPrivilegeList(const Privileges& privs) {
    std::string list;
    auto add = [&list](std::string_view p) { list += (list.empty() ? "" : ", ") + std::string(p); };
    if (privs.has(Privilege::Select)) {
        add("SELECT");
    }
    if (privs.has(Privilege::Insert)) {
        add("INSERT");
    }
    if (privs.has(Privilege::Update)) {
        std::string columns;
        for (const Ident& c : privs.updateColumns) {
            columns += (columns.empty() ? "" : ", ") + c.sql();
        }
        add(columns.empty() ? "UPDATE" : "UPDATE (" + columns + ")");
    }
    if (privs.has(Privilege::Delete)) {
        add("DELETE");
    }
    // DB2's ALTER privilege is what allows a foreign key to the table; PostgreSQL asks REFERENCES.
    if (privs.has(Privilege::Alter)) {
        add("REFERENCES");
    }
    return list;
}

// The privileges GRANT checks the grant option of. ALTER and INDEX of GRANT ALL are checked by
// kwgw.grant_extra, which skips them on a view.
std::vector<std::string> checkedPrivileges(const Privileges& privs) {
    std::vector<std::string> names;
    for (const PrivilegeWord& p : kPrivileges) {
        const bool extra = p.privilege == Privilege::Alter || p.privilege == Privilege::Index;
        if (extra ? privs.explicitly(p.privilege) : privs.has(p.privilege)) {
            names.push_back(quoteLiteral(p.word));
        }
    }
    return names;
}

std::string pgGrant(const std::string& list, const std::vector<QualifiedName>& objects,
                    const std::vector<Grantee>& to, bool grantOption) {
    std::string sql = "GRANT " + list + " ON TABLE ";
    for (size_t i = 0; i < objects.size(); ++i) {
        sql += (i ? ", " : "") + objects[i].sql();
    }
    sql += " TO ";
    for (size_t i = 0; i < to.size(); ++i) {
        sql += (i ? ", " : "") + (to[i] ? to[i]->sql() : std::string("PUBLIC"));
    }
    return grantOption ? sql + " WITH GRANT OPTION" : sql;
}

std::vector<std::string> pgGrants(const Privileges& privs, const std::vector<QualifiedName>& objects,
                                  const std::vector<Grantee>& to, bool grantOption) {
    const std::string list = pgPrivilegeList(privs);
    if (list.empty()) {
        return {};
    }
    std::vector<Grantee> named;
    bool isPublic = false;
    for (const Grantee& g : to) {
        if (g) {
            named.push_back(g);
        } else {
            isPublic = true;
        }
    }
    if (!grantOption || !isPublic) {
        return {pgGrant(list, objects, to, grantOption && !named.empty())};
    }
    std::vector<std::string> out;
    if (!named.empty()) {
        out.push_back(pgGrant(list, objects, named, true));
    }
    out.push_back(pgGrant(list, objects, {std::nullopt}, false));
    return out;
}

std::string grantExtraCall(const QualifiedName& object, const Privileges& privs,
                           const std::vector<Grantee>& to, bool grantOption) {
    std::vector<std::string> args = {quoteLiteral(object.creator.pg()),
                                     quoteLiteral(object.name.pg()),
                                     privs.has(Privilege::Alter) ? "true" : "false",
                                     privs.has(Privilege::Index) ? "true" : "false",
                                     grantOption ? "true" : "false",
                                     privs.all ? "true" : "false"};
    for (const Grantee& g : to) {
        args.push_back(granteeLiteral(g));
    }
    return procedureCall("kwgw.grant_extra", args);
}

}  // namespace

Plan translateGrant(Cursor& cursor, const Context& context) {
    const Privileges privs = privileges(cursor, true);
    const std::vector<QualifiedName> objects = tables(cursor, context.authId);
    cursor.expectKeyword("TO");
    const std::vector<Grantee> to = grantees(cursor);
    bool grantOption = false;
    if (cursor.acceptKeyword("WITH")) {
        cursor.expectKeyword("GRANT");
        cursor.expectKeyword("OPTION");
        grantOption = true;
    }
    cursor.expectEnd();
    refuseSelf(to, context.authId, -554, "GRANT");

    Plan plan;
    const std::vector<std::string> checked = checkedPrivileges(privs);
    for (const QualifiedName& object : objects) {
        plan.setup.push_back(selectCall("kwgw.share_schema", {quoteLiteral(object.creator.pg())}));
        if (!checked.empty()) {
            std::vector<std::string> args = {quoteLiteral(object.creator.pg()),
                                             quoteLiteral(object.name.pg())};
            args.insert(args.end(), checked.begin(), checked.end());
            plan.setup.push_back(selectCall("kwgw.check_grant", args));
        }
    }
    for (const Grantee& g : to) {
        if (g) {
            plan.setup.push_back(selectCall("kwgw.ensure_grantee", {granteeLiteral(g)}));
        }
    }
    std::vector<std::string> steps = pgGrants(privs, objects, to, grantOption);
    if (privs.has(Privilege::Alter) || privs.has(Privilege::Index)) {
        for (const QualifiedName& object : objects) {
            steps.push_back(grantExtraCall(object, privs, to, grantOption));
        }
    }
    plan.statement = steps.front();
    plan.after.assign(steps.begin() + 1, steps.end());
    return plan;
}

Plan translateRevoke(Cursor& cursor, const Context& context) {
    const Privileges privs = privileges(cursor, false);
    const std::vector<QualifiedName> objects = tables(cursor, context.authId);
    cursor.expectKeyword("FROM");
    const std::vector<Grantee> from = grantees(cursor);
    if (cursor.isKeyword("BY")) {
        throw unacceptableStatement("REVOKE ... BY");
    }
    cursor.expectEnd();
    refuseSelf(from, context.authId, -555, "REVOKE");

    std::vector<std::string> names;
    if (privs.all) {
        names.push_back("ALL");
    }
    for (const PrivilegeWord& p : kPrivileges) {
        if (privs.explicitly(p.privilege)) {
            names.emplace_back(p.word);
        }
    }
    Plan plan;
    for (const QualifiedName& object : objects) {
        std::vector<std::string> args = {quoteLiteral(object.creator.pg()), quoteLiteral(object.name.pg()),
                                         textArray(names)};
        for (const Grantee& g : from) {
            args.push_back(granteeLiteral(g));
        }
        std::string call = procedureCall("kwgw.revoke_privileges", args);
        if (plan.statement.empty()) {
            plan.statement = std::move(call);
        } else {
            plan.after.push_back(std::move(call));
        }
    }
    return plan;
}

}  // namespace gw::dialect
