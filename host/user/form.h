/*
 * form.h - a modal dialog as a text form, apart from any terminal: the form model, its rendering,
 * and the session that drives a dialog from keys (keys.h).
 *
 * The terminal presenter wraps these in raw mode; unit tests feed them through pipes.
 */
#ifndef KWUSER_FORM_H
#define KWUSER_FORM_H

#include <string>
#include <string_view>
#include <vector>

#include "keys.h"
#include "kwuser.h"
#include "window.h"

namespace kwuser::form {

/* ---- The form model ---- */

enum class FieldKind { Text, Heading, Edit, CheckBox, List, Button };

struct Field {
    FieldKind kind = FieldKind::Text;
    int number = 0; /* what the person types to choose it; 0 for text and headings */
    int controlId = 0;
    std::string label = {};
    std::string value = {};
    bool password = false;
    bool enabled = true;
    int check = 0;
    size_t limit = kDefaultEditLimit;
    std::vector<ListItem> items = {};
    bool multiple = false;
    bool dropDown = false;
    bool isDefault = false;
};

struct Form {
    std::string title;
    std::vector<Field> fields;
    int defaultButton = -1; /* index into fields, or -1 */
    int cancelButton = -1;
};

/* "&Server Name:" -> "Server Name:"; "&&" stands for one '&'. */
std::string stripAccelerator(std::string_view text);
Form buildForm(const DialogView& view);
std::string renderForm(const Form& form);
const Field* fieldNumbered(const Form& form, int number);

/* ---- Driving a dialog ---- */

class Console {
  public:
    virtual ~Console() = default;
    virtual Key readKey() = 0;
    virtual void write(std::string_view text) = 0;
};

/* Keys from a KeyReader, output to a descriptor. */
class FdConsole : public Console {
  public:
    FdConsole(KeyReader& reader, int outputFd) : reader_(reader), outputFd_(outputFd) {}
    Key readKey() override { return reader_.next(); }
    void write(std::string_view text) override;

  private:
    KeyReader& reader_;
    int outputFd_;
};

enum class FormOutcome { Ended, Cancelled, InputEnded };

/* Shows the dialog and acts on the person's choices, through the kwuser_ user actions, until it
 * has ended (Ended), the person cancelled a dialog that has no Cancel button (Cancelled), or the
 * input ended (InputEnded). */
FormOutcome runForm(HWND dialog, Console& console);

std::string renderMessageBox(std::string_view text, std::string_view caption, UINT type);
/* The button the person chose, or 0 when the input ended first. */
int runMessageBox(Console& console, std::string_view text, std::string_view caption, UINT type);

}  // namespace kwuser::form

#endif
