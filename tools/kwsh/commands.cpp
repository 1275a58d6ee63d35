// commands.cpp - the table of backslash commands and what each one does.
//
// Serves Shell::runCommand. It owns nothing: each handler works through the Shell. The table is
// the one place a command is named, so \help, the dispatch and the word-count checks always agree;
// a wrong word count or an unknown command is a failure line, never an exception.
#include "commands.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

#include "attrs.h"
#include "catalog.h"
#include "ddl.h"
#include "kwconst.h"
#include "kwshr.h"
#include "procs.h"
#include "security.h"
#include "shell.h"
#include "variables.h"

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

// A setting that is on or off: a word sets it, no word turns it over; the new state is said as
// "<what>on." or "<what>off.".
bool switchCommand(Shell& shell, const CommandLine& c, bool& setting, const char* what) {
    if (c.words.size() == 1) {
        setting = !setting;
    } else if (const auto on = parseBoolean(c.words[1])) {
        setting = *on;
    } else {
        shell.failText("ERROR: \\" + c.words[0] + " takes on or off, not \"" + c.words[1] + "\"");
        return false;
    }
    shell.say(std::string(what) + (setting ? "on." : "off."));
    return true;
}

const char* expandedName(Expanded expanded) {
    return expanded == Expanded::Auto ? "auto" : expanded == Expanded::On ? "on" : "off";
}

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
        shell.out() << formatName(shell.settings().format) << '\n';
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

// \echo writes to the terminal even while \o sends results to a file; \qecho follows the results.
bool doEcho(Shell& shell, const CommandLine& c) {
    shell.screen() << c.rest << '\n';
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

bool doAttributes(Shell& shell, const CommandLine& c) {
    if (c.words.size() == 2) {
        return showAttributesCommand(shell, c.words[1]);
    }
    if (c.words.size() == 3) {
        shell.failText("ERROR: usage: \\attrs TABLE [COLUMN|- KEY=VALUE ...]; " + attributeKeysHelp());
        return false;
    }
    return setAttributesCommand(shell, c.words[1], c.words[2], {c.words.begin() + 3, c.words.end()});
}

bool doFormats(Shell& shell, const CommandLine&) {
    return listDictionaryCommand(shell, REQ_READ_FORMATS);
}

bool doValidations(Shell& shell, const CommandLine&) {
    return listDictionaryCommand(shell, REQ_READ_VALIDATIONS);
}

bool doEditStyles(Shell& shell, const CommandLine&) {
    return listDictionaryCommand(shell, REQ_READ_EDIT_STYLES);
}

bool doTiming(Shell& shell, const CommandLine& c) {
    return switchCommand(shell, c, shell.settings().timing, "Timing is ");
}

bool doExpanded(Shell& shell, const CommandLine& c) {
    Expanded& expanded = shell.settings().expanded;
    if (c.words.size() == 1) {
        expanded = expanded == Expanded::Off ? Expanded::On : Expanded::Off;
    } else if (c.words[1] == "auto") {
        expanded = Expanded::Auto;
    } else if (const auto on = parseBoolean(c.words[1])) {
        expanded = *on ? Expanded::On : Expanded::Off;
    } else {
        shell.failText("ERROR: \\x takes on, off or auto, not \"" + c.words[1] + "\"");
        return false;
    }
    shell.say(expanded == Expanded::Auto
                  ? "Expanded display is used automatically."
                  : std::string("Expanded display is ") + (expanded == Expanded::On ? "on." : "off."));
    return true;
}

bool doInclude(Shell& shell, const CommandLine& c) {
    return shell.runFile(c.words[1]);
}

// \ir: a relative name is read from the folder of the file being run, not the current one.
bool doIncludeRelative(Shell& shell, const CommandLine& c) {
    const std::string& name = c.words[1];
    const std::string dir = shell.sourceDirectory();
    return shell.runFile(name.front() == '/' || dir.empty() ? name : dir + "/" + name);
}

bool doOutput(Shell& shell, const CommandLine& c) {
    return shell.setOutputFile(c.words.size() > 1 ? c.words[1] : "");
}

bool doSendAgain(Shell& shell, const CommandLine& c) {
    return shell.sendAgain(c.words[0] + (c.words.size() > 1 ? " " + quoted(c.words[1], '\'') : ""));
}

bool doEdit(Shell& shell, const CommandLine& c) {
    return shell.editAndRun(c.words.size() > 1 ? "e " + quoted(c.words[1], '\'') : "e");
}

bool doSet(Shell& shell, const CommandLine& c) {
    if (c.words.size() == 1) {
        for (const auto& [name, value] : shell.variables().all()) {
            shell.out() << name << " = '" << value << "'\n";
        }
        return true;
    }
    std::string value;
    for (size_t i = 2; i < c.words.size(); ++i) {
        value += c.words[i];  // the words are joined without blanks, as psql does
    }
    return setShellVariable(shell, c.words[1], value);
}

bool doUnset(Shell& shell, const CommandLine& c) {
    if (c.words[1] == "ON_ERROR_STOP") {
        shell.settings().stopOnError = false;
    }
    shell.variables().unset(c.words[1]);
    return true;
}

bool doPrintSetting(Shell& shell, const CommandLine& c) {
    ShellSettings& settings = shell.settings();
    if (c.words.size() == 1) {
        shell.out() << "expanded " << expandedName(settings.expanded) << '\n'
                    << "format " << formatName(settings.format) << '\n'
                    << "null " << quoted(settings.nullText, '\'') << '\n'
                    << "pager " << (settings.pager ? "on" : "off") << '\n';
        return true;
    }
    const std::string& what = c.words[1];
    const bool given = c.words.size() > 2;
    if (what == "format") {
        const std::optional<Format> format = given ? formatNamed(c.words[2]) : settings.format;
        if (!format) {
            shell.failText("ERROR: \\pset format takes aligned, unaligned or csv, not \"" + c.words[2] +
                           "\"");
            return false;
        }
        settings.format = *format;
        shell.say(std::string("Output format is ") + formatName(*format) + ".");
    } else if (what == "null") {
        settings.nullText = given ? c.words[2] : settings.nullText;
        shell.say("Null display is " + quoted(settings.nullText, '"') + ".");
    } else if (what == "pager") {
        CommandLine pager{{"pset pager"}, ""};
        if (given) {
            pager.words.push_back(c.words[2]);
        }
        return switchCommand(shell, pager, settings.pager, "Pager usage is ");
    } else if (what == "expanded" || what == "x") {
        CommandLine x{{"x"}, ""};
        if (given) {
            x.words.push_back(c.words[2]);
        }
        return doExpanded(shell, x);
    } else {
        shell.failText("ERROR: \\pset knows format, null, pager and expanded, not \"" + what + "\"");
        return false;
    }
    return true;
}

bool doQueryEcho(Shell& shell, const CommandLine& c) {
    shell.out() << c.rest << '\n';
    return true;
}

bool doSecurity(Shell& shell, const CommandLine& c) {
    return securityCommand(shell, std::vector<std::string>(c.words.begin() + 1, c.words.end()));
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
    {"attrs", "", 1, -1, false, "\\attrs TABLE [COLUMN|- KEY=VALUE ...]",
     "show a table's extended attributes, or change a column's (or with -, the table's) and store them",
     doAttributes},
    {"formats", "", 0, 0, false, "\\formats", "list the display formats of the extended catalog", doFormats},
    {"validations", "", 0, 0, false, "\\validations", "list the validation rules of the extended catalog",
     doValidations},
    {"editstyles", "", 0, 0, false, "\\editstyles", "list the edit styles of the extended catalog",
     doEditStyles},
    {"security", "", 0, -1, false, "\\security [TABLE] [ACTION ...]",
     "grant and revoke table privileges in the driver's Table Security dialog (at a terminal, or "
     "by actions: user=ID, +PRIV, -PRIV, columns=A,B, show, done, cancel, answer=ok|cancel)",
     doSecurity},
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
    {"set", "", 0, -1, false, "\\set [NAME [VALUE]]",
     "set a variable (:NAME, :'NAME', :\"NAME\" put it in), or list them; ON_ERROR_STOP stops scripts",
     doSet},
    {"unset", "", 1, 1, false, "\\unset NAME", "remove a variable", doUnset},
    {"pset", "", 0, 2, false, "\\pset [NAME [VALUE]]",
     "show or set how results look: format aligned|unaligned|csv, null TEXT, pager on|off", doPrintSetting},
    {"x", "", 0, 1, false, "\\x [on|off|auto]", "expanded display: each row as a block (auto: when too wide)",
     doExpanded},
    {"timing", "", 0, 1, false, "\\timing [on|off]", "show how long each statement takes", doTiming},
    {"i", "include", 1, 1, false, "\\i FILE", "run the statements and commands of a file", doInclude},
    {"ir", "include_relative", 1, 1, false, "\\ir FILE",
     "as \\i, a relative name read beside the running file", doIncludeRelative},
    {"o", "out", 0, 1, false, "\\o [FILE]", "send results to a file, or back to the terminal", doOutput},
    {"g", "", 0, 1, false, "\\g [FILE]", "send the statement typed (or the last one again), results to FILE",
     doSendAgain},
    {"gx", "", 0, 1, false, "\\gx [FILE]", "as \\g, the results in expanded display", doSendAgain},
    {"e", "edit", 0, 1, false, "\\e [FILE]",
     "edit the statement typed (or the last one) in $EDITOR; a complete statement then runs", doEdit},
    {"qecho", "", 0, -1, true, "\\qecho TEXT", "print the text where results go (\\o)", doQueryEcho},
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

bool setShellVariable(Shell& shell, const std::string& name, const std::string& value) {
    if (!isVariableName(name)) {
        shell.failText("ERROR: \"" + name + "\" is no variable name (letters, digits and _)");
        return false;
    }
    if (name == "ON_ERROR_STOP") {
        // Set without a value it is on, as a switch named alone.
        const std::optional<bool> on = value.empty() ? std::optional<bool>(true) : parseBoolean(value);
        if (!on) {
            shell.failText("ERROR: ON_ERROR_STOP takes on or off, not \"" + value + "\"");
            return false;
        }
        shell.settings().stopOnError = *on;
        shell.variables().set(name, value.empty() ? "on" : value);
        return true;
    }
    shell.variables().set(name, value);
    return true;
}

std::vector<std::string> commandNames() {
    std::vector<std::string> names;
    for (const Command& command : kCommands) {
        names.emplace_back(command.name);
        if (command.alias[0] != '\0') {
            names.emplace_back(command.alias);
        }
    }
    return names;
}

std::string commandHelp() {
    size_t width = 0;
    for (const Command& command : kCommands) {
        width = std::max(width, std::string(command.usage).size());
    }
    std::string text =
        "Statements end with ;, \\g or a line that is only go; :NAME puts in a variable. Commands:\n";
    for (const Command& command : kCommands) {
        const std::string alias =
            command.alias[0] != '\0' ? std::string(" (also \\") + command.alias + ")" : std::string();
        text += fmt::format("  {:<{}}  {}{}\n", command.usage, width, command.help, alias);
    }
    return text;
}

}  // namespace kwsh
