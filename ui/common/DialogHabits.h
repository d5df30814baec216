#pragma once

#include <QString>

class QLineEdit;
class QTableView;
class QWidget;

// What desktop users expect of every window of the program, given to a dialog once, when it is
// first shown:
// - Enter in a field presses no button unless the dialog names a default one (OK of a small
//   dialog); a button that once had the focus does not become the default either.
// - Tab leaves a text area instead of typing a tab into it, so that the focus goes down the form.
// - A read-only field looks read-only.
// - Lists stay readable (keepListsReadable).
namespace DialogHabits {

void apply(QWidget* dialog);

// For the lists of a window (a dialog's, by apply(), or the main window's): selected rows read
// the same when the list has not the focus, and the columns of a table whose widths the window
// left alone fit their contents, the last one taking the rest of the width.
void keepListsReadable(QWidget* widget);

// The table's columns fit their contents and the table asks its layout for the room to show all
// of them side by side, as it does again whenever a column widens (the yearly tables).
void showAllColumns(QTableView* view);

// Gives every push button of the widget an Alt mnemonic of its own: the first letter of one of
// its words, else any of its letters, that neither a mnemonic already set nor reserved takes.
void assignMnemonics(QWidget* widget, const QString& reserved = QString());

// A new record's field that holds the stored placeholder text (such as "Enter site name") selects
// it whenever it gets the focus, by mouse too, so that typing replaces it.
void selectPlaceholderOnFocus(QLineEdit* field, const QString& placeholder);

} // namespace DialogHabits
