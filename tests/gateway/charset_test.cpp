// Tests of character sets through DB-Library: text of every declared length comes back byte for
// byte, announced in bytes of the client's set, for a UTF-8 client of a utf8 gateway and for a
// single-byte client of the default (iso_1) gateway; a character the client's set cannot hold is
// an error, and the session goes on.
#include "backend/charset.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "live.h"

namespace {

using namespace kwtest;

constexpr const char* kUtf8Gateway = "KWGWUTF8";

// `n` copies of `ch`.
std::string repeat(const std::string& ch, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += ch;
    }
    return out;
}

std::unique_ptr<DbClient> connectWith(const std::string& server, const char* clientCharset) {
    return std::make_unique<DbClient>(server, kJoe.name, kJoe.password, [clientCharset](LOGINREC* login) {
        DBSETLCHARSET(login, clientCharset);
    });
}

// A value read back whole, with its declared and actual byte lengths.
struct Read {
    std::string value;
    int collen = 0;
    int datlen = 0;
};

// The first column of the first row of `sql`, as raw bytes.
Read readOne(DbClient& c, const std::string& sql) {
    Read r;
    if (!c.exec(sql) || dbresults(c.get()) != SUCCEED) {
        ADD_FAILURE() << "query failed: " << sql;
        c.drain();
        return r;
    }
    r.collen = dbcollen(c.get(), 1);
    if (dbnextrow(c.get()) == REG_ROW) {
        r.datlen = dbdatlen(c.get(), 1);
        r.value.assign(reinterpret_cast<const char*>(dbdata(c.get(), 1)), static_cast<size_t>(r.datlen));
    }
    c.drain();
    return r;
}

// Each length a DB2 character column can be declared with, at the edges of the wire forms: one
// byte, the short form's last whole UTF-8 width, the first that needs the long form, DB2's CHAR
// limit.
const size_t kLengths[] = {1, 5, 63, 64, 254};

class CharsetTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { env().startGateway(kUtf8Gateway, {"--charset", "utf8"}); }

    // Stores `value` through the gateway in a CHAR(n), a VARCHAR(n) and a LONG VARCHAR, and
    // checks that each comes back byte for byte with a declared length of n * `perChar` bytes
    // (LONG VARCHAR: 32700 * `perChar`).
    static void roundTrip(DbClient& c, size_t n, const std::string& value, int perChar) {
        SCOPED_TRACE("declared length " + std::to_string(n));
        dropTable();
        ASSERT_TRUE(c.exec(fmtCreate(n))) << "create";
        c.drain();
        ASSERT_TRUE(c.exec("INSERT INTO MB VALUES ('" + value + "', '" + value + "', '" + value + "')"));
        c.drain();
        const struct {
            const char* column;
            int collen;
        } columns[] = {{"C", static_cast<int>(n) * perChar},
                       {"V", static_cast<int>(n) * perChar},
                       {"L", 32700 * perChar}};
        for (const auto& col : columns) {
            Read r = readOne(c, std::string("SELECT ") + col.column + " FROM MB");
            EXPECT_EQ(r.value, value) << col.column;
            EXPECT_EQ(r.datlen, static_cast<int>(value.size())) << col.column;
            EXPECT_EQ(r.collen, col.collen) << col.column;
        }
    }

    static void dropTable() { env().exec("DROP TABLE IF EXISTS joe.mb CASCADE"); }

    static std::string fmtCreate(size_t n) {
        return "CREATE TABLE MB (C CHAR(" + std::to_string(n) + "), V VARCHAR(" + std::to_string(n) +
               "), L LONG VARCHAR)";
    }
};

TEST_F(CharsetTest, Utf8ClientGetsMultiByteTextWholeAtEveryDeclaredLength) {
    auto c = connectWith(kUtf8Gateway, "UTF-8");
    ASSERT_TRUE(c->connected());
    EXPECT_EQ(std::string(dbservcharset(c->get())), "utf8");
    // Two, three and four bytes a character, mixed; exactly n characters fill CHAR(n).
    const std::string mixed[] = {"\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9D\x84\x9E"};
    for (size_t n : kLengths) {
        std::string value;
        for (size_t i = 0; i < n; ++i) {
            value += mixed[i % 3];
        }
        roundTrip(*c, n, value, 4);
    }
    dropTable();
}

TEST_F(CharsetTest, SingleByteClientSeesDb2LengthsAndItsOwnBytes) {
    auto c = connectWith(env().serverName(), "ISO-8859-1");
    ASSERT_TRUE(c->connected());
    EXPECT_EQ(std::string(dbservcharset(c->get())), "iso_1");
    for (size_t n : kLengths) {
        roundTrip(*c, n, repeat("\xE9", n), 1);  // é in ISO-8859-1
    }
    dropTable();
}

TEST_F(CharsetTest, CatalogColumnsAndExpressionsAreAnnouncedInClientBytes) {
    auto c = connectWith(kUtf8Gateway, "UTF-8");
    ASSERT_TRUE(c->connected());
    dropTable();
    ASSERT_TRUE(c->exec(fmtCreate(5)));
    c->drain();
    // A catalog name (VARCHAR(18)), a string constant (VARCHAR of its 6 bytes), a function result.
    const std::string chinese = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
    const struct {
        std::string sql, value;
        int collen;
    } cases[] = {
        {"SELECT NAME FROM SYSIBM.SYSCOLUMNS WHERE TBCREATOR = 'JOE' AND TBNAME = 'MB' AND COLNO = 2", "V",
         18 * 4},
        {"SELECT '" + chinese + "' FROM SYSIBM.SYSTABLES WHERE NAME = 'MB'", chinese, 6 * 4},
        {"SELECT SUBSTR('" + chinese + chinese + "', 1, 2) FROM SYSIBM.SYSTABLES WHERE NAME = 'MB'", chinese,
         2 * 4},
    };
    for (const auto& k : cases) {
        Read r = readOne(*c, k.sql);
        EXPECT_EQ(r.value, k.value) << k.sql;
        EXPECT_EQ(r.collen, k.collen) << k.sql;
    }
    dropTable();
}

TEST_F(CharsetTest, ACharacterTheClientSetCannotHoldIsAnErrorAndTheSessionGoesOn) {
    // A UTF-8 application on the iso_1 gateway: FreeTDS converts, Latin-1 text passes whole.
    auto c = connectWith(env().serverName(), "UTF-8");
    ASSERT_TRUE(c->connected());
    dropTable();
    ASSERT_TRUE(c->exec(fmtCreate(5)));
    c->drain();
    const std::string e5 = repeat("\xC3\xA9", 5);  // ééééé
    run(*c, "INSERT INTO MB VALUES ('" + e5 + "', '" + e5 + "', '" + e5 + "')");
    EXPECT_EQ(readOne(*c, "SELECT V FROM MB").value, e5);

    // Stored behind the gateway's back, 中 has no iso_1 form: reading it fails, nothing is
    // substituted.
    env().exec("UPDATE joe.mb SET v = '\xE4\xB8\xAD'");
    c->clearMessages();
    c->exec("SELECT V FROM MB");
    c->drain();
    EXPECT_EQ(reportedCode(*c), "-330");
    EXPECT_EQ(query(*c, "SELECT C FROM MB"), (Rows{{e5}}));
    dropTable();
}

TEST(CharsetTable, EveryServedSetHasThePostgresEncodingAndWidthItClaims) {
    for (const gw::backend::Charset& cs : gw::backend::allCharsets()) {
        const std::string encoding(cs.pgEncoding);
        EXPECT_EQ(env().queryValue("SELECT pg_encoding_max_length(pg_char_to_encoding('" + encoding + "'))"),
                  std::to_string(cs.maxBytesPerChar))
            << cs.sybaseName;
        EXPECT_EQ(env().queryValue("SELECT pg_encoding_to_char(pg_char_to_encoding('" + encoding + "'))"),
                  encoding)
            << cs.sybaseName << " names an encoding PostgreSQL knows";
    }
    EXPECT_EQ(gw::backend::findCharset("ISO_1"), gw::backend::findCharset("iso_1")) << "names in any case";
    EXPECT_EQ(gw::backend::findCharset("cp850"), nullptr) << "PostgreSQL has no such encoding";
}

}  // namespace
