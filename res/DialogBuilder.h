#pragma once

#include "DialogTemplate.h"

#include <QWidget>

class QDialog;
class QMenuBar;

namespace vessaro::res {

// Controls by kind: PushButton and DefaultPushButton QPushButton, Edit QLineEdit (QPlainTextEdit
// with kMultiline), Static and Icon QLabel, Placeholder a plain QWidget, GroupBox QGroupBox (kept
// below the other controls and transparent to the mouse), RadioButton QRadioButton (exclusive in
// its run from a kGroupStart button, in a QButtonGroup), CheckBox QCheckBox, ComboBox an editable
// QComboBox as high as an edit (the template's height includes its list).
//
// Lays a template out on a dialog: sets its caption, font and fixed size, creates every control
// at its rectangle (dialog units converted with the dialog font's metrics, as the original
// platform does: horizontal units are a quarter of the font's average character width, vertical
// units an eighth of its height) in template order, and names each
// control by its ID (objectName is the decimal ID) so that code and tests find it by ID. Every
// text is translated under the template's context. Keyboard access follows (KeyboardAccess.h):
// labels are the buddies of the fields beside them, every control has an accessible name, and
// Tab moves through the controls in their visual order.
void BuildDialog(const DialogTemplate& dialogTemplate, QDialog* dialog);

// Adds a menu bar with the template's menu, its texts translated under the menu's context (a "&"
// in the title makes Alt and that letter open it); the menu's objectName is the menu's ID, each
// item's QAction carries its command ID as objectName ("32771") and as data(), and an item with a
// shortcut shows it and answers it.
QMenuBar* BuildMenu(const MenuTemplate& menuTemplate, QDialog* dialog);

// A template's text in the user's language: sourceText (UTF-8) through the installed translators
// under context; the text itself when none translates it.
QString Translate(const char* context, const std::string& sourceText);

// The control with this ID on the dialog, or null.
QWidget* Control(const QWidget* dialog, int id);

template <typename T>
T* ControlAs(const QWidget* dialog, int id) {
    return qobject_cast<T*>(Control(dialog, id));
}

// Pixels of a rectangle in dialog units for a dialog font.
QRect DialogUnitsToPixels(const DialogRect& rect, const QFont& font);

// The dialog's font: its own face when installed, else an installed font with Chinese glyphs.
QFont DialogFont(const DialogTemplate& dialogTemplate);

// Pixels per four horizontal and per eight vertical dialog units.
struct DialogBaseUnits {
    int x = 0;
    int y = 0;
};
DialogBaseUnits BaseUnits(const QFont& font);

} // namespace vessaro::res
