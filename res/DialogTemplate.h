#pragma once

#include <string>
#include <vector>

namespace vessaro::res {

// A dialog described as data, the way the dialogs were designed: each control with its ID, kind,
// text and rectangle in dialog units. BuildDialog (DialogBuilder.h) turns it into widgets.

inline constexpr int kNoId = -1; // labels and group boxes that no code addresses

enum class ControlKind {
    PushButton,
    DefaultPushButton,
    Edit,
    Static,      // text label
    Placeholder, // a static that an HTML view replaces
    GroupBox,
    RadioButton,
    CheckBox,
    ComboBox, // drop-down, editable
    Icon,     // the application icon
};

// Styles that matter to behaviour or layout; combine with |.
enum ControlStyle : unsigned {
    kNoStyle = 0,
    kGroupStart = 1 << 0, // first radio button of a group
    kHidden = 1 << 1,     // created invisible
    kCentered = 1 << 2,   // centred text
    kMultiline = 1 << 3,  // multi-line edit
    kNoTabStop = 1 << 4,
    kFlat = 1 << 5,     // flat push button
    kNoPrefix = 1 << 6, // "&" is shown, not taken as a mnemonic
    kDisabled = 1 << 7,
};

struct DialogRect {
    int x = 0, y = 0, width = 0, height = 0; // dialog units
};

struct ControlTemplate {
    int id = kNoId;
    ControlKind kind = ControlKind::Static;
    std::string text; // UTF-8, the source text that the dialog's translation context translates
    DialogRect rect;
    unsigned styles = kNoStyle;
    // What assistive technology calls a control that has no text or label of its own (an HTML
    // view, an icon, an unlabelled edit); translated like text.
    std::string accessibleName = {};
};

// Keyboard shortcuts a menu item can carry, each the desktop's usual keys for it.
enum class MenuShortcut { None, Save };

struct MenuItemTemplate {
    int commandId;
    std::string text;
    MenuShortcut shortcut = MenuShortcut::None;
};

struct MenuTemplate {
    int id = 0;
    std::string title; // the one menu of the bar, e.g. "文件(&F)"
    std::vector<MenuItemTemplate> items;
    const char* context = ""; // translation context of the texts
};

struct DialogTemplate {
    int id = 0;
    // The translation context of every text of the dialog (its class name, so that the class's own
    // tr() texts share it).
    const char* context = "";
    std::string caption;
    std::string fontFace; // asked for first; an installed CJK font stands in when it is missing
    int pointSize = 9;
    int width = 0, height = 0; // dialog units
    bool minimizeBox = false;
    std::vector<ControlTemplate> controls; // in creation (and tab) order
};

} // namespace vessaro::res
