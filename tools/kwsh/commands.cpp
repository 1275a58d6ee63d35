// commands.cpp - the table of backslash commands and what each one does.
//
// Serves Shell::runCommand. It owns nothing: each handler works through the Shell. The table is
// the one place a command is named, so \help, the dispatch and the word-count checks always agree;
// a wrong word count or an unknown command is a failure line, never an exception.
#include "commands.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

#include "catalog.h"
#include "ddl.h"
#include "kwconst.h"
#include "kwshr.h"
#include "procs.h"
#include "shell.h"

namespace kwsh {

namespace {

struct CommandLine {
    std::vector<std::string> words;  // words[0] is the command's name
    std::string rest;                // the text after the name, as typed
};

using Handler = bool (*)(Shell&, const CommandLine&);

struct Command {
    const char* name;
    const char* alias;       // "" when there is none
    int minWords, maxWords;  // words after the name; -1: no limit
    bool raw;                // takes the rest of the line as typed (SQL, text): no word splitting
    const char* usage;
    const char* help;
    Handler handler;
};

bool doConnect(Shell& shell, const CommandLine& c) {
    LoginValues login{c.words[1], c.words[2], c.words.size() > 3 ? c.words[3] : "", ""};
    if (c.words.size() > 4) {
        login.dbParm = c.words[4];
    }
    if (c.words.size() == 3 && shell.askPassword) {
        login.password = shell.askPassword("Password for " + login.user + ": ").value_or("");
    }
    return shell.connect(login);
}

bool doLogin(Shell& shell, const CommandLine& c) {
    LoginValues login;
    login.server = c.words.size() > 1 ? c.words[1] : "";
    login.user = c.words.size() > 2 ? c.words[2] : "";
    return shell.connectWithDialog(login);
}

bool doDisconnect(Shell& shell, const CommandLine&) {
    return shell.disconnect();
}

bool doCommit(Shell& shell, const CommandLine&) {
    return shell.transaction(REQ_COMMIT, "committed");
}

bool doRollback(Shell& shell, const CommandLine&) {
    return shell.transaction(REQ_ROLLBACK, "rolled back");
}

bool doBegin(Shell& shell, const CommandLine&) {
    return shell.transaction(REQ_BEGIN_LONG_TRANSACTION,
                             "long transaction begun; end it with \\commit or \\rollback");
}

bool doDescribe(Shell& shell, const CommandLine& c) {
    std::string sql = c.rest;
    while (!sql.empty() && (sql.back() == ';' || std::isspace(static_cast<unsigned char>(sql.back())))) {
        sql.pop_back();
    }
    return shell.describe(sql);
}

bool doFormat(Shell& shell, const CommandLine& c) {
    if (c.words.size() == 1) {
        shell.out() << (shell.settings().format == Format::Csv ? "csv" : "aligned") << '\n';
        return true;
    }
    if (c.words[1] == "aligned") {
        shell.settings().format = Format::Aligned;
    } else if (c.words[1] == "csv") {
        shell.settings().format = Format::Csv;
    } else {
        shell.failText("ERROR: \\format takes aligned or csv, not \"" + c.words[1] + "\"");
        return false;
    }
    return true;
}

bool doTrace(Shell& shell, const CommandLine& c) {
    if (c.words.size() == 1) {
        shell.out() << "trace " << (shell.settings().showTrace ? "on" : "off") << '\n';
        return true;
    }
    const std::string& what = c.words[1];
    if (what == "on" && c.words.size() == 2) {
        shell.settings().showTrace = true;
        kwhost_traceClear();
    } else if (what == "off" && c.words.size() == 2) {
        shell.settings().showTrace = false;
    } else if (what == "file" && c.words.size() == 3) {
        kwhost_setTraceFile(c.words[2].c_str());
        shell.say(c.words[2].empty() ? "trace file off" : "trace lines are appended to " + c.words[2]);
    } else {
        shell.failText("ERROR: use \\trace on, \\trace off or \\trace file PATH ('' turns the file off)");
        return false;
    }
    return true;
}

bool doEcho(Shell& shell, const CommandLine& c) {
    shell.out() << c.rest << '\n';
    return true;
}

bool doConninfo(Shell& shell, const CommandLine&) {
    Session& session = shell.session();
    if (!session.connected()) {
        shell.out() << "not connected\n";
    } else if (session.lost()) {
        shell.out() << "the connection to " << session.server() << " as " << session.user()
                    << " was lost; \\connect or \\login starts a new one\n";
    } else {
        shell.out() << "connected to " << session.server() << " as " << session.user() << '\n';
    }
    return true;
}

bool doListTables(Shell& shell, const CommandLine& c) {
    return listTablesCommand(shell, c.words.size() > 1 ? c.words[1] : "");
}

bool doDescribeTable(Shell& shell, const CommandLine& c) {
    return describeTableCommand(shell, c.words[1]);
}

bool doListIndexes(Shell& shell, const CommandLine& c) {
    return listIndexesCommand(shell, c.words[1]);
}

bool doListTypes(Shell& shell, const CommandLine&) {
    return listTypesCommand(shell);
}

bool doListStoredRequests(Shell& shell, const CommandLine&) {
    return listStoredRequestsCommand(shell);
}

bool doShowStoredRequest(Shell& shell, const CommandLine& c) {
    return showStoredRequestCommand(shell, c.words[1]);
}

bool doCall(Shell& shell, const CommandLine& c) {
    return callProcedureCommand(shell, c.rest);
}

bool doViewText(Shell& shell, const CommandLine& c) {
    return viewTextCommand(shell, c.words[1]);
}

bool doTableDdl(Shell& shell, const CommandLine& c) {
    if (c.words.size() == 2) {
        return tableDdlCommand(shell, c.words[1], "", false);
    }
    if (c.words.size() == 4 && c.words[1] == "--run") {
        return tableDdlCommand(shell, c.words[3], c.words[2], true);
    }
    shell.failText("ERROR: usage: \\ddl [--run NEWOWNER] TABLE");
    return false;
}

bool doHelp(Shell& shell, const CommandLine&) {
    shell.out() << commandHelp();
    return true;
}

bool doQuit(Shell& shell, const CommandLine&) {
    shell.setQuit();
    return true;
}

const Command kCommands[] = {
    {"connect", "c", 2, 4, false, "\\connect SERVER USER [PASSWORD [DBPARM]]",
     "connect through the driver (asks for the password at a terminal)", doConnect},
    {"login", "", 0, 2, false, "\\login [SERVER [USER]]", "connect through the driver's login dialog",
     doLogin},
    {"disconnect", "", 0, 0, false, "\\disconnect", "close the connection", doDisconnect},
    {"commit", "", 0, 0, false, "\\commit", "commit the transaction", doCommit},
    {"rollback", "", 0, 0, false, "\\rollback", "roll the transaction back", doRollback},
    {"begin", "", 0, 0, false, "\\begin", "begin a long transaction (kept open across statements)", doBegin},
    {"describe", "dc", 1, -1, true, "\\describe SQL",
     "compile a statement without running it and show its columns", doDescribe},
    {"dt", "", 0, 1, false, "\\dt [PATTERN]", "list the tables and views you may see (* and ? match)",
     doListTables},
    {"d", "", 1, 1, false, "\\d TABLE", "describe a table: columns, indexes, keys, referring tables",
     doDescribeTable},
    {"di", "", 1, 1, false, "\\di TABLE", "list the indexes of a table", doListIndexes},
    {"dT", "", 0, 0, false, "\\dT", "list the DB2 column types", doListTypes},
    {"dv", "", 1, 1, false, "\\dv VIEW", "show the text of a view", doViewText},
    {"ddl", "", 1, 3, false, "\\ddl [--run NEWOWNER] TABLE",
     "print the statements that create a table, its keys and indexes; --run makes them for NEWOWNER",
     doTableDdl},
    {"requests", "", 0, 0, false, "\\requests", "list the stored requests (of the profile's StoredReqOwner)",
     doListStoredRequests},
    {"request", "", 1, 1, false, "\\request NAME", "show the text of a stored request", doShowStoredRequest},
    {"call", "", 1, -1, true, "\\call PROCEDURE [ARGS] [#N]",
     "run a procedure or stored request and show its Nth result set with rows (default #1)", doCall},
    {"format", "", 0, 1, false, "\\format [aligned|csv]", "show or set how result sets are printed",
     doFormat},
    {"trace", "", 0, 2, false, "\\trace [on|off|file PATH]",
     "show the driver's trace after each statement, or write it to a file", doTrace},
    {"echo", "", 0, -1, true, "\\echo TEXT", "print the text", doEcho},
    {"conninfo", "", 0, 0, false, "\\conninfo", "show the connection", doConninfo},
    {"help", "?", 0, 0, false, "\\help", "list the commands", doHelp},
    {"quit", "q", 0, 0, false, "\\quit", "leave kwsh", doQuit},
};

const Command* findCommand(const std::string& name) {
    for (const Command& command : kCommands) {
        if (name == command.name || (command.alias[0] != '\0' && name == command.alias)) {
            return &command;
        }
    }
    return nullptr;
}

// The text after the command's name, without the blanks that separate it.
std::string restOf(const std::string& line) {
    size_t at = 0;
    while (at < line.size() && !std::isspace(static_cast<unsigned char>(line[at]))) {
        ++at;
    }
    while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) {
        ++at;
    }
    return line.substr(at);
}

}  // namespace

std::optional<std::vector<std::string>> splitWords(const std::string& text, std::string& error) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = '\0';
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != '\0') {
            if (c == quote && i + 1 < text.size() && text[i + 1] == quote) {
                word.push_back(c);
                ++i;
            } else if (c == quote) {
                quote = '\0';
            } else {
                word.push_back(c);
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            if (inWord) {
                words.push_back(word);
            }
            word.clear();
            inWord = false;
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (quote != '\0') {
        error = std::string("the quote ") + quote + " is not closed";
        return std::nullopt;
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

bool runShellCommand(Shell& shell, const std::string& line) {
    const std::string name = line.substr(0, line.find_first_of(" \t"));
    const Command* command = findCommand(name);
    if (command != nullptr && command->raw) {
        const std::string rest = restOf(line);
        if (command->minWords > 0 && rest.empty()) {
            shell.failText(std::string("ERROR: usage: ") + command->usage);
            return false;
        }
        return command->handler(shell, CommandLine{{name}, rest});
    }
    std::string error;
    std::optional<std::vector<std::string>> words = splitWords(line, error);
    if (!words) {
        shell.failText("ERROR: \\" + line + ": " + error);
        return false;
    }
    if (words->empty()) {
        shell.failText("ERROR: a lone backslash is no command; \\help lists them");
        return false;
    }
    if (command == nullptr) {
        shell.failText("ERROR: unknown command \\" + words->front() + "; \\help lists the commands");
        return false;
    }
    const int count = static_cast<int>(words->size()) - 1;
    if (count < command->minWords || (command->maxWords >= 0 && count > command->maxWords)) {
        shell.failText(std::string("ERROR: usage: ") + command->usage);
        return false;
    }
    return command->handler(shell, CommandLine{std::move(*words), restOf(line)});
}

std::string commandHelp() {
    size_t width = 0;
    for (const Command& command : kCommands) {
        width = std::max(width, std::string(command.usage).size());
    }
    std::string text = "Statements end with ; or with a line that is only go. Commands:\n";
    for (const Command& command : kCommands) {
        text += fmt::format("  {:<{}}  {}\n", command.usage, width, command.help);
    }
    return text;
}

}  // namespace kwsh
