// security.h - \security: the driver's Table Security dialog, to grant and revoke table privileges.
//
// Serves the command table. The dialog is opened as the host opens it: request 72 adds its command
// to a menu, request 57 runs that command. A long transaction is begun first (request 58), so that
// the dialog's Cancel really undoes the statements it applied. With no actions a person works the
// dialog at the terminal; with actions (a script, the demo) kwsh plays them on the dialog itself
// and prints what it shows when asked, the GRANT and REVOKE statements the driver sent ("sent:"
// lines) and every message box, so the dialog can be driven without a terminal.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kwsh {

class Shell;

// One thing a script does to the dialog.
struct SecurityAction {
    enum class Kind { User, Table, Tick, Clear, Columns, Show, Done, Cancel, Answer };
    Kind kind = Kind::Show;
    std::string text = {};                  // User: the user ID; Table: the table as the list shows it
    int control = 0;                        // Tick, Clear: the privilege box
    std::vector<std::string> columns = {};  // Columns: exactly the columns to select
    int answer = 0;                         // Answer: IDOK or IDCANCEL for the next message box
};

// The words after \security as actions: user=ID, table=NAME (or a bare NAME), +PRIV and -PRIV
// (all, alter, delete, index, insert, select, update), columns=A,B, show, done, cancel,
// answer=ok|cancel. A bare table given before user= is chosen right after it, since the table
// list opens only once a user ID is typed. Answers nothing (and says why in `error`) for a word
// it does not know.
std::optional<std::vector<SecurityAction>> parseSecurityWords(const std::vector<std::string>& words,
                                                              std::string& error);

// \security [TABLE] [ACTION ...]: opens the dialog (through requests 72 and 57) at the terminal,
// or plays the actions on it.
bool securityCommand(Shell& shell, const std::vector<std::string>& words);

}  // namespace kwsh
