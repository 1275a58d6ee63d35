// main.cpp - kwsh: a host shell that loads the driver like the 4GL host does and lets a person use it.
//
// Reads the command line (CLI11), loads the driver, connects when asked (directly or through the
// driver's login dialog), runs the start-up file (~/.kwshrc, unless -X), then the -f files and -c
// texts, or the terminal with line editing, or standard input as a script. Exit status: 0 done,
// 1 the driver or a file could not be used, 2 the connection asked for could not be made, 3 a
// statement or command of a script failed (with ON_ERROR_STOP the script stopped there).
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>

#include "commands.h"
#include "completion.h"
#include "kwshr.h"
#include "kwuser.h"
#include "shell.h"
#include "terminal.h"

namespace {

struct Arguments {
    std::string driver;
    kwsh::LoginValues login;
    bool loginDialog = false;
    std::vector<std::string> files;
    std::vector<std::string> commands;
    bool csv = false;
    bool quiet = false;
    bool stopOnError = false;
    bool trace = false;
    std::string traceFile;
    std::vector<std::string> variables;
    bool noStartupFile = false;
};

void declare(CLI::App& app, Arguments& a) {
    app.add_option("-S,--server", a.login.server, "server name (a section of freetds.conf)")
        ->envname("KWSH_SERVER");
    app.add_option("-U,--user", a.login.user, "DB2 user")->envname("KWSH_USER");
    app.add_option("-P,--password", a.login.password, "password (or KWSH_PASSWORD)")
        ->envname("KWSH_PASSWORD");
    app.add_option("-D,--dbparm", a.login.dbParm, "DbParm text, e.g. \"DelimitIdentifier='No'\"");
    app.add_flag("--login-dialog", a.loginDialog, "connect through the driver's login dialog");
    app.add_option("--driver", a.driver, "the driver module (or KWSH_DRIVER)");
    app.add_option("-f,--file", a.files, "run the statements and commands of a file ('-' for stdin)");
    app.add_option("-c,--command", a.commands, "run a text of statements and commands");
    app.add_flag("--csv", a.csv, "print result sets as CSV");
    app.add_flag("-q,--quiet", a.quiet, "print no row counts or confirmations");
    app.add_flag("--stop-on-error", a.stopOnError, "stop a script at its first failure");
    app.add_flag("--trace", a.trace, "show the driver's trace lines after each statement");
    app.add_option("--trace-file", a.traceFile, "append the driver's trace lines to a file");
    app.add_option("-v,--set,--variable", a.variables, "set a variable before anything runs (NAME=VALUE)");
    app.add_flag("-X,--no-kwshrc", a.noStartupFile, "do not read the start-up file (~/.kwshrc or KWSHRC)");
}

// The start-up file: $KWSHRC, else ~/.kwshrc; "" when neither names one.
std::string startupFile() {
    if (const char* file = std::getenv("KWSHRC"); file != nullptr) {
        return file;
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return std::string(home) + "/.kwshrc";
    }
    return "";
}

// -v NAME=VALUE for each variable; answers false (said why) at the first that is malformed.
bool setVariables(kwsh::Shell& shell, const Arguments& a) {
    for (const std::string& assignment : a.variables) {
        const size_t equals = assignment.find('=');
        if (equals == std::string::npos) {
            std::cerr << "kwsh: -v takes NAME=VALUE, not \"" << assignment << "\"\n";
            return false;
        }
        if (!kwsh::setShellVariable(shell, assignment.substr(0, equals), assignment.substr(equals + 1))) {
            return false;
        }
    }
    return true;
}

bool connectAtStart(kwsh::Shell& shell, const Arguments& a) {
    if (a.loginDialog) {
        // At a terminal the dialog always shows, filled with the values given. Elsewhere it cannot
        // be shown: the driver connects without it when every value is given (and checks the
        // extended attribute catalog, as after any login through the dialog); with a value
        // missing the login counts as cancelled.
        const bool shown = kwuser_useTerminalPresenter(STDIN_FILENO, STDOUT_FILENO) != 0;
        return shell.connectWithDialog(a.login, shown);
    }
    if (a.login.server.empty()) {
        return true;
    }
    kwsh::LoginValues login = a.login;
    if (login.password.empty() && shell.askPassword) {
        login.password = shell.askPassword("Password for " + login.user + ": ").value_or("");
    }
    return shell.connect(login);
}

// Runs the files, then the texts. Answers the exit status.
int runScripts(kwsh::Shell& shell, const Arguments& a) {
    for (const std::string& file : a.files) {
        bool completed;
        if (file == "-") {
            completed = shell.run(kwsh::streamReader(std::cin), "stdin");
        } else {
            std::ifstream in(file);
            if (!in) {
                std::cerr << "kwsh: cannot read " << file << '\n';
                return 1;
            }
            completed = shell.run(kwsh::streamReader(in), file);
        }
        if (!completed) {
            return 3;
        }
        if (shell.quitRequested()) {
            return 0;
        }
    }
    for (const std::string& text : a.commands) {
        if (!shell.runText(text, "")) {
            return 3;
        }
        if (shell.quitRequested()) {
            return 0;
        }
    }
    return 0;
}

int runInteractive(kwsh::Shell& shell) {
    kwsh::EditingTerminal terminal(kwsh::defaultHistoryFile());
    terminal.setCompleter(
        [&shell](const std::string& line, size_t end) { return kwsh::completeLine(shell, line, end); });
    std::cout << "kwsh: statements end with ; -- \\? lists the commands, \\quit leaves\n";
    const kwsh::TerminalInput input = terminal.input();
    shell.run(terminal.reader(), "", &input);
    return 0;
}

int runMain(int argc, char** argv) {
    // Before anything reads the terminal or DB-Library makes a login (it takes its default client
    // charset from the locale).
    kwsh::useTerminalCharset();
    CLI::App app{"kwsh - a shell over the KWTDX050 driver"};
    Arguments a;
    declare(app, a);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    const std::string driverPath = a.driver.empty() ? kwsh::defaultDriverPath() : a.driver;
    std::string error;
    std::unique_ptr<kwsh::Driver> driver = kwsh::Driver::load(driverPath, error);
    if (!driver) {
        std::cerr << "kwsh: " << error << '\n';
        return 1;
    }
    if (!a.traceFile.empty()) {
        kwhost_setTraceFile(a.traceFile.c_str());
    }
    for (const std::string& file : a.files) {
        if (file != "-" && !std::ifstream(file)) {
            std::cerr << "kwsh: cannot read " << file << '\n';
            return 1;
        }
    }
    const bool scripted = !a.files.empty() || !a.commands.empty();
    const bool terminal = !scripted && isatty(STDIN_FILENO) != 0;
    // A password on the command line is in the process list for every user to read; an
    // interactive session can just as well ask for it.
    if (terminal && std::any_of(argv + 1, argv + argc, [](const char* arg) {
            return std::strncmp(arg, "-P", 2) == 0 || std::strncmp(arg, "--password", 10) == 0;
        })) {
        std::cerr << "kwsh: warning: other users can read a password given with -P in the process list; "
                     "leave -P out to be asked for it\n";
    }
    kwsh::Shell shell(*driver, std::cout, std::cerr);
    shell.settings().format = a.csv ? kwsh::Format::Csv : kwsh::Format::Aligned;
    shell.settings().quiet = a.quiet;
    if (a.stopOnError) {
        kwsh::setShellVariable(shell, "ON_ERROR_STOP", "on");
    }
    shell.settings().showTrace = a.trace;
    shell.settings().interactive = terminal;
    if (isatty(STDIN_FILENO) != 0) {
        shell.askPassword = kwsh::readHidden;
    }
    if (isatty(STDOUT_FILENO) != 0) {
        shell.screenSize = kwsh::outputScreenSize;
    }
    if (!setVariables(shell, a)) {
        return 1;
    }
    if (!connectAtStart(shell, a)) {
        return 2;
    }
    // The start-up file runs once connected, before anything else, as psql reads its own.
    if (const std::string rc = startupFile(); !a.noStartupFile && !rc.empty() && std::ifstream(rc)) {
        shell.runFile(rc);
    }
    int status;
    if (scripted) {
        status = runScripts(shell, a);
    } else if (terminal) {
        status = runInteractive(shell);
    } else {
        shell.run(kwsh::streamReader(std::cin), "stdin");
        status = 0;
    }
    // A script that met a failure says so in its status, whether it went on or stopped there.
    if (!terminal && status == 0 && shell.failures() > 0) {
        status = 3;
    }
    if (shell.session().connected() && !shell.disconnect()) {
        status = status == 0 ? 1 : status;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return runMain(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "kwsh: " << e.what() << '\n';
    } catch (...) {
        std::cerr << "kwsh: unexpected failure\n";
    }
    return 1;
}
