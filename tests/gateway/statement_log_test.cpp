// statement_log_test.cpp - the statement log keeps secrets out: password literals are masked,
// everything else is kept byte for byte, and the file is its owner's alone.
#include "session/statement_log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

namespace {

using gw::session::maskPasswords;

TEST(MaskPasswords, HidesTheLiteralAfterPasswordAndEveryArgumentOfSpPassword) {
    const std::pair<const char*, const char*> cases[] = {
        {"ALTER ROLE joe PASSWORD 'se''cret'", "ALTER ROLE joe PASSWORD '********'"},
        {"create user kim with password 'x1'", "create user kim with password '********'"},
        {"ALTER USER kim ENCRYPTED PASSWORD\n  'md5abc' VALID UNTIL 'infinity'",
         "ALTER USER kim ENCRYPTED PASSWORD\n  '********' VALID UNTIL 'infinity'"},
        {"SET PASSWORD = 'p'", "SET PASSWORD = '********'"},
        {"sp_password 'old', 'new', joe", "sp_password '********', '********', joe"},
        {"exec sp_password 'old', 'new'; select 'kept'",
         "exec sp_password '********', '********'; select 'kept'"},
        {"SELECT 'PASSWORD' FROM T WHERE C = 'x'", "SELECT 'PASSWORD' FROM T WHERE C = 'x'"},
        {"SELECT PASSWORD_HINT, 'a' FROM T", "SELECT PASSWORD_HINT, 'a' FROM T"},
        {"SELECT PASSWORD, 'a' FROM T", "SELECT PASSWORD, 'a' FROM T"},
        {"SELECT \"PASSWORD\" FROM T WHERE X = 'y'", "SELECT \"PASSWORD\" FROM T WHERE X = 'y'"},
        {"ALTER ROLE joe PASSWORD 'never closed", "ALTER ROLE joe PASSWORD '********'"},
        // Sybase clients quote strings with double quotes too.
        {"ALTER ROLE joe PASSWORD \"x\"", "ALTER ROLE joe PASSWORD '********'"},
        {"sp_password \"old\", \"new\"", "sp_password '********', '********'"},
        {"", ""},
    };
    for (auto [text, logged] : cases) {
        EXPECT_EQ(maskPasswords(text), logged) << text;
    }
}

TEST(StatementLog, IsCreatedForItsOwnerAloneAndLogsTheMaskedText) {
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/kw-statements-" + std::to_string(getpid());
    {
        std::ofstream wide(path);  // an older log, made with the usual mode
    }
    ::chmod(path.c_str(), 0644);
    {
        gw::session::StatementLog log;
        std::string error;
        ASSERT_TRUE(log.open(path, error)) << error;
        log.append(7, "ALTER ROLE joe PASSWORD 'hunter2'");
    }
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    ::unlink(path.c_str());
    EXPECT_EQ(text.str().find("hunter2"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("\"text\":\"ALTER ROLE joe PASSWORD '********'\""), std::string::npos)
        << text.str();
}

}  // namespace
