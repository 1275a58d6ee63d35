/*
 * form.cpp - a modal dialog as a text form driven from keys: the terminal presenter's logic.
 *
 * Shows the title, static texts, each edit with its label (the static before it) and value (a
 * password only as "(set)" or "(empty)"), check boxes, lists and push buttons, each field with a
 * number to choose it by; Enter alone and Esc press the default and Cancel buttons. Every change
 * goes through the kwuser_ user actions, so the procedure sees a real dialog's notifications, and
 * the form is rebuilt from the dialog after each one. Plain text, legible on a dumb terminal.
 */
#include "form.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

#include "action.h"
#include "control.h"
#include "listbox.h"
#include "presenter.h"

namespace kwuser::form {
namespace {

constexpr size_t kLabelWidthCap = 24;
constexpr size_t kListItemsShown = 10;
constexpr size_t kNumberDigits = 4;

struct BoxButton {
    char letter;
    const char* shown;
    int answer;
};

/* In the order Windows lays them out; the first a box offers is its default. */
const BoxButton kBoxButtons[] = {
    {'o', "[O]K", IDOK}, {'y', "[Y]es", IDYES}, {'n', "[N]o", IDNO}, {'c', "[C]ancel", IDCANCEL}};
static_assert(sizeof kBoxButtons / sizeof kBoxButtons[0] == 4, "OK, Yes, No, Cancel");

struct BoxIcon {
    UINT icon;
    const char* word;
};

const BoxIcon kBoxIcons[] = {{MB_ICONHAND, "stop"},
                             {MB_ICONQUESTION, "question"},
                             {MB_ICONEXCLAMATION, "warning"},
                             {MB_ICONINFORMATION, "information"}};
static_assert(sizeof kBoxIcons / sizeof kBoxIcons[0] == 4, "stop, question, exclamation, information");
constexpr UINT kIconMask = 0xF0;

/* ---- Building the form ---- */

bool takesLabel(WindowKind kind) {
    return kind == WindowKind::Edit || kind == WindowKind::ListBox || kind == WindowKind::ComboBox;
}

std::string labelText(std::string_view text) {
    std::string label = stripAccelerator(text);
    while (!label.empty() && (label.back() == ':' || label.back() == ' ')) {
        label.pop_back();
    }
    return label;
}

Field fieldOf(const ControlView& control, const std::string& label) {
    Field field;
    field.controlId = control.id;
    field.enabled = control.enabled;
    field.label = label;
    switch (control.kind) {
        case WindowKind::Edit:
            field.kind = FieldKind::Edit;
            field.value = control.text;
            field.password = (control.style & ES_PASSWORD) != 0;
            field.limit = control.limit;
            break;
        case WindowKind::ListBox:
        case WindowKind::ComboBox:
            field.kind = FieldKind::List;
            field.items = control.items;
            field.multiple = control.kind == WindowKind::ListBox && (control.style & LBS_MULTIPLESEL) != 0;
            field.dropDown = control.kind == WindowKind::ComboBox;
            break;
        default:
            break;
    }
    return field;
}

Field buttonField(const ControlView& control) {
    Field field;
    field.kind = isCheckBox(control.style) ? FieldKind::CheckBox : FieldKind::Button;
    field.controlId = control.id;
    field.label = stripAccelerator(control.text);
    field.enabled = control.enabled;
    field.check = control.check;
    field.isDefault = (control.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    return field;
}

/* ---- Rendering ---- */

std::string numberColumn(int number) {
    std::string column = std::to_string(number) + ". ";
    return std::string(column.size() < 6 ? 6 - column.size() : 0, ' ') + column;
}

std::string disabledMark(const Field& field) {
    return field.enabled ? "" : " (disabled)";
}

std::string editValue(const Field& field) {
    if (field.password) {
        return field.value.empty() ? "(empty)" : "(set)";
    }
    return field.value;
}

const char* checkMark(int check) {
    static const char* const kMarks[] = {"[ ]", "[x]", "[-]"};
    static_assert(sizeof kMarks / sizeof kMarks[0] == BST_INDETERMINATE + 1, "one mark per check state");
    return check >= 0 && check <= BST_INDETERMINATE ? kMarks[check] : "[?]";
}

std::string shownLabel(const Field& field) {
    return field.label.empty() ? "Field " + std::to_string(field.number) : field.label;
}

std::string paddedLabel(const Field& field, size_t width) {
    std::string label = shownLabel(field);
    size_t length = shownLength(label);
    return label + std::string(length < width ? width - length : 0, ' ') + " : ";
}

void renderList(const Field& field, size_t width, std::string& out) {
    int current = -1;
    for (size_t i = 0; i < field.items.size() && current < 0; ++i) {
        current = field.items[i].selected ? static_cast<int>(i) : -1;
    }
    out += numberColumn(field.number) + paddedLabel(field, width);
    if (field.dropDown) {
        out += current < 0 ? "(none)" : field.items[static_cast<size_t>(current)].text;
        out += " (" + std::to_string(field.items.size()) + " choices)" + disabledMark(field) + "\n";
        return;
    }
    out += field.items.empty() ? "(no items)" : "";
    out += disabledMark(field) + "\n";
    std::string indent(6, ' ');
    for (size_t i = 0; i < field.items.size() && i < kListItemsShown; ++i) {
        out += indent + (field.items[i].selected ? "  * " : "    ") + field.items[i].text + "\n";
    }
    if (field.items.size() > kListItemsShown) {
        out += indent + "    ... and " + std::to_string(field.items.size() - kListItemsShown) + " more\n";
    }
}

std::string hintLine(const Form& form) {
    std::string hint = "Number and Enter: choose a field (Ctrl-U clears a value)";
    if (form.defaultButton >= 0) {
        hint += "; Enter alone: " + form.fields[static_cast<size_t>(form.defaultButton)].label;
    }
    if (form.cancelButton >= 0) {
        hint += "; Esc: " + form.fields[static_cast<size_t>(form.cancelButton)].label;
    }
    return hint + "\n";
}

/* ---- The session ---- */

enum class Step { Continue, InputEnded };

struct NumberEntry {
    enum class Kind { Empty, Number, Cancel, InputEnded } kind;
    int value = 0;
};

/* Reads a number typed at a prompt, echoing it. */
NumberEntry readNumber(Console& console, std::string_view prompt) {
    console.write(prompt);
    LineEditor editor("", kNumberDigits, false, true);
    for (;;) {
        std::string echo;
        LineEditor::State state = editor.feed(console.readKey(), echo);
        console.write(echo);
        switch (state) {
            case LineEditor::State::Editing:
                continue;
            case LineEditor::State::InputEnded:
                console.write("\n");
                return {NumberEntry::Kind::InputEnded};
            case LineEditor::State::Abandoned:
                console.write("\n");
                return {NumberEntry::Kind::Cancel};
            case LineEditor::State::Accepted:
                break;
        }
        console.write("\n");
        if (editor.text().empty()) {
            return {NumberEntry::Kind::Empty};
        }
        int value = 0;
        std::from_chars(editor.text().data(), editor.text().data() + editor.text().size(), value);
        return {NumberEntry::Kind::Number, value};
    }
}

Step editField(HWND dialog, const Field& field, Console& console) {
    console.write(shownLabel(field) + ": ");
    LineEditor editor(field.value, field.limit, field.password);
    console.write(editor.shown());
    for (;;) {
        std::string echo;
        LineEditor::State state = editor.feed(console.readKey(), echo);
        console.write(echo);
        if (state == LineEditor::State::Editing) {
            continue;
        }
        console.write("\n");
        if (state == LineEditor::State::InputEnded) {
            return Step::InputEnded;
        }
        if (state == LineEditor::State::Accepted) {
            if (editor.text() == field.value) {
                kwuser_focus(dialog, field.controlId);
            } else {
                kwuser_typeText(dialog, field.controlId, editor.text().c_str());
            }
        }
        return Step::Continue;
    }
}

/* The field as the dialog has it now (a procedure may have changed it since the form was drawn). */
bool currentField(HWND dialog, int number, Field& field) {
    DialogView view = viewDialog(dialog);
    if (!view.exists || view.ended) {
        return false;
    }
    Form form = buildForm(view);
    const Field* found = fieldNumbered(form, number);
    if (found == nullptr || !found->enabled) {
        return false;
    }
    field = *found;
    return true;
}

std::string listChoices(const Field& field) {
    std::string out;
    for (size_t i = 0; i < field.items.size(); ++i) {
        out += numberColumn(static_cast<int>(i + 1)) + (field.items[i].selected ? "* " : "  ") +
               field.items[i].text + "\n";
    }
    out += field.multiple
               ? "Type an item's number and Enter to select or deselect it; Enter alone when done\n"
               : "Type an item's number and Enter to choose it; Enter alone keeps the choice\n";
    return out;
}

/* Picks items of a list: one choice for a single-selection list or a combo box, as many toggles
 * as the person wants for a multiple-selection list. */
Step chooseItems(HWND dialog, Field field, Console& console) {
    int number = field.number;
    for (;;) {
        if (field.items.empty()) {
            console.write("(no items)\n");
            return Step::Continue;
        }
        console.write(listChoices(field));
        NumberEntry entry = readNumber(console, "item> ");
        if (entry.kind == NumberEntry::Kind::InputEnded) {
            return Step::InputEnded;
        }
        if (entry.kind != NumberEntry::Kind::Number) {
            return Step::Continue;
        }
        if (entry.value < 1 || static_cast<size_t>(entry.value) > field.items.size()) {
            console.write(std::string(kBell) + "No item " + std::to_string(entry.value) + ".\n");
            continue;
        }
        auto index = static_cast<size_t>(entry.value - 1);
        bool select = !field.multiple || !field.items[index].selected;
        kwuser_selectItem(dialog, field.controlId, static_cast<int>(index), select ? TRUE : FALSE);
        if (!field.multiple || !currentField(dialog, number, field)) {
            return Step::Continue;
        }
    }
}

Step useField(HWND dialog, const Field& field, Console& console) {
    if (!field.enabled) {
        console.write(std::string(kBell) + field.label + " is disabled.\n");
        return Step::Continue;
    }
    switch (field.kind) {
        case FieldKind::Edit:
            return editField(dialog, field, console);
        case FieldKind::List:
            return chooseItems(dialog, field, console);
        case FieldKind::CheckBox:
        case FieldKind::Button:
            kwuser_click(dialog, field.controlId);
            return Step::Continue;
        default:
            return Step::Continue;
    }
}

/* Enter or Esc: the button is pressed without the focus moving, as in a Windows dialog. Answers
 * whether anything happened. */
bool pressKey(HWND dialog, const Field& button, Console& console) {
    if (!button.enabled) {
        console.write(std::string(kBell) + button.label + " is disabled.\n");
        return false;
    }
    return pressButton(dialog, button.controlId);
}

}  // namespace

/* ---- The form model ---- */

std::string stripAccelerator(std::string_view text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;  // "&x" shows x; "&&" shows one '&'
        } else if (text[i] == '&') {
            continue;
        }
        plain += text[i];
    }
    return plain;
}

/* Statics that come right before an edit or a list are its label; other statics are text. Push
 * buttons go last, in template order, as the button row. */
Form buildForm(const DialogView& view) {
    Form form;
    form.title = view.title;
    std::vector<Field> buttons;
    for (size_t i = 0; i < view.controls.size(); ++i) {
        const ControlView& control = view.controls[i];
        bool nextTakesLabel = i + 1 < view.controls.size() && takesLabel(view.controls[i + 1].kind);
        if (control.kind == WindowKind::Static) {
            if (!nextTakesLabel && !control.text.empty()) {
                form.fields.push_back({.kind = FieldKind::Text, .label = stripAccelerator(control.text)});
            }
        } else if (control.kind == WindowKind::Button && (control.style & BS_TYPEMASK) == BS_GROUPBOX) {
            form.fields.push_back({.kind = FieldKind::Heading, .label = stripAccelerator(control.text)});
        } else if (control.kind == WindowKind::Button) {
            Field field = buttonField(control);
            (field.kind == FieldKind::Button ? buttons : form.fields).push_back(std::move(field));
        } else {
            bool labelled = i > 0 && view.controls[i - 1].kind == WindowKind::Static;
            form.fields.push_back(fieldOf(control, labelled ? labelText(view.controls[i - 1].text) : ""));
        }
    }
    form.fields.insert(form.fields.end(), buttons.begin(), buttons.end());
    int number = 0;
    for (size_t i = 0; i < form.fields.size(); ++i) {
        Field& field = form.fields[i];
        if (field.kind == FieldKind::Text || field.kind == FieldKind::Heading) {
            continue;
        }
        field.number = ++number;
        if (field.kind != FieldKind::Button) {
            continue;
        }
        if (field.isDefault || (form.defaultButton < 0 && field.controlId == IDOK)) {
            form.defaultButton = static_cast<int>(i);
        }
        if (field.controlId == IDCANCEL) {
            form.cancelButton = static_cast<int>(i);
        }
    }
    return form;
}

std::string renderForm(const Form& form) {
    size_t width = 0;
    for (const Field& field : form.fields) {
        if (field.kind == FieldKind::Edit || field.kind == FieldKind::List) {
            width = std::max(width, std::min(shownLength(shownLabel(field)), kLabelWidthCap));
        }
    }
    std::string out = "\n== " + form.title + " ==\n";
    std::string buttonRow;
    for (const Field& field : form.fields) {
        switch (field.kind) {
            case FieldKind::Text:
                out += field.label + "\n";
                break;
            case FieldKind::Heading:
                out += "-- " + field.label + " --\n";
                break;
            case FieldKind::Edit:
                out += numberColumn(field.number) + paddedLabel(field, width) + editValue(field) +
                       disabledMark(field) + "\n";
                break;
            case FieldKind::CheckBox:
                out += numberColumn(field.number) + checkMark(field.check) + " " + field.label +
                       disabledMark(field) + "\n";
                break;
            case FieldKind::List:
                renderList(field, width, out);
                break;
            case FieldKind::Button:
                buttonRow += numberColumn(field.number) + field.label + disabledMark(field);
                break;
        }
    }
    if (!buttonRow.empty()) {
        out += buttonRow + "\n";
    }
    return out + hintLine(form);
}

const Field* fieldNumbered(const Form& form, int number) {
    for (const Field& field : form.fields) {
        if (field.number == number && number > 0) {
            return &field;
        }
    }
    return nullptr;
}

/* ---- Driving a dialog ---- */

void FdConsole::write(std::string_view text) {
    while (!text.empty()) {
        ssize_t written = ::write(outputFd_, text.data(), text.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;  // nowhere to show it; the input side decides when the form ends
        }
        text.remove_prefix(static_cast<size_t>(written));
    }
}

FormOutcome runForm(HWND dialog, Console& console) {
    bool redraw = true;
    for (;;) {
        DialogView view = viewDialog(dialog);
        if (!view.exists || view.ended) {
            return FormOutcome::Ended;
        }
        Form form = buildForm(view);
        if (redraw) {
            console.write(renderForm(form));
        }
        redraw = true;
        NumberEntry entry = readNumber(console, "> ");
        Step step = Step::Continue;
        switch (entry.kind) {
            case NumberEntry::Kind::InputEnded:
                return FormOutcome::InputEnded;
            case NumberEntry::Kind::Cancel:
                if (form.cancelButton < 0) {
                    return FormOutcome::Cancelled;
                }
                redraw = pressKey(dialog, form.fields[static_cast<size_t>(form.cancelButton)], console);
                break;
            case NumberEntry::Kind::Empty:
                redraw = form.defaultButton >= 0 &&
                         pressKey(dialog, form.fields[static_cast<size_t>(form.defaultButton)], console);
                break;
            case NumberEntry::Kind::Number:
                if (const Field* field = fieldNumbered(form, entry.value)) {
                    step = useField(dialog, *field, console);
                } else {
                    console.write(std::string(kBell) + "No field " + std::to_string(entry.value) + ".\n");
                    redraw = false;
                }
                break;
        }
        if (step == Step::InputEnded) {
            return FormOutcome::InputEnded;
        }
    }
}

std::string renderMessageBox(std::string_view text, std::string_view caption, UINT type) {
    std::string out = "\n-- " + std::string(caption);
    for (const BoxIcon& icon : kBoxIcons) {
        if ((type & kIconMask) == icon.icon) {
            out += std::string(" (") + icon.word + ")";
        }
    }
    out += " --\n" + std::string(text) + "\n";
    for (const BoxButton& button : kBoxButtons) {
        if (boxOffers(type, button.answer)) {
            out += std::string(button.shown) + "  ";
        }
    }
    return out + "? ";
}

/* A letter picks its button; Enter takes the box's default (its first button); Esc takes Cancel,
 * or OK in a box that has only OK. */
int runMessageBox(Console& console, std::string_view text, std::string_view caption, UINT type) {
    console.write(renderMessageBox(text, caption, type));
    for (;;) {
        Key key = console.readKey();
        int answer = 0;
        if (key.kind == KeyKind::End) {
            console.write("\n");
            return 0;
        }
        if (key.kind == KeyKind::Enter) {
            for (const BoxButton& button : kBoxButtons) {
                if (answer == 0 && boxOffers(type, button.answer)) {
                    answer = button.answer;
                }
            }
        } else if (key.kind == KeyKind::Escape || key.kind == KeyKind::Interrupt) {
            answer = boxOffers(type, IDCANCEL) ? IDCANCEL : (boxOffers(type, IDOK) ? IDOK : 0);
        } else if (key.kind == KeyKind::Char) {
            char letter = static_cast<char>(key.ch >= 'A' && key.ch <= 'Z' ? key.ch - 'A' + 'a' : key.ch);
            for (const BoxButton& button : kBoxButtons) {
                if (button.letter == letter && boxOffers(type, button.answer)) {
                    answer = button.answer;
                }
            }
        }
        if (answer != 0) {
            for (const BoxButton& button : kBoxButtons) {
                if (button.answer == answer) {
                    console.write(std::string(button.shown) + "\n");
                }
            }
            return answer;
        }
        console.write(kBell);
    }
}

}  // namespace kwuser::form
