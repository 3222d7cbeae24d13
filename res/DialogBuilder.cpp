#include "DialogBuilder.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "AppIcon.h"
#include "KeyboardAccess.h"

#include <cmath>

namespace vessaro::res {
namespace {

// Height of a menu bar above the controls; kept on the dialog so that BuildDialog and BuildMenu
// may run in either order.
constexpr const char* kMenuOffsetProperty = "vessaroMenuOffset";

// Installed fonts that carry Simplified Chinese well, best first, for when a dialog's own face is
// missing (it usually is: the dialogs were designed for 宋体 and 新宋体).
constexpr const char* kCjkFallbacks[] = {
    "Noto Sans CJK SC",  "Noto Serif CJK SC", "Source Han Sans SC", "WenQuanYi Micro Hei",
    "WenQuanYi Zen Hei", "AR PL UMing CN",    "AR PL UKai CN",      "Droid Sans Fallback",
};

QString InstalledCjkFamily() {
    const QStringList families = QFontDatabase::families();
    for (const char* name : kCjkFallbacks) {
        if (families.contains(QString::fromUtf8(name), Qt::CaseInsensitive))
            return QString::fromUtf8(name);
    }
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    return chinese.isEmpty() ? QString() : chinese.first();
}

int MulDiv(int value, int numerator, int denominator) {
    return static_cast<int>(std::lround(static_cast<double>(value) * numerator / denominator));
}

// Labels without the no-prefix style take "&" as a mnemonic marker, as the original statics do:
// "&&" shows one ampersand, a single one is dropped.
QString LabelText(const QString& text, const ControlTemplate& control) {
    return (control.styles & kNoPrefix) ? text : StripMnemonic(text);
}

QLabel* MakeLabel(const QString& text, const ControlTemplate& control, QWidget* parent) {
    auto* label = new QLabel(LabelText(text, control), parent);
    label->setTextFormat(Qt::PlainText); // texts from users and the server are never markup
    label->setWordWrap(true);
    Qt::Alignment horizontal = (control.styles & kCentered) ? Qt::AlignHCenter : Qt::AlignLeft;
    label->setAlignment(horizontal | Qt::AlignTop);
    return label;
}

QWidget* MakeEdit(const QString& text, const ControlTemplate& control, QWidget* parent) {
    if (control.styles & kMultiline) {
        auto* edit = new QPlainTextEdit(text, parent);
        edit->setTabChangesFocus(true);
        return edit;
    }
    auto* edit = new QLineEdit(text, parent);
    if (control.styles & kCentered)
        edit->setAlignment(Qt::AlignHCenter);
    return edit;
}

constexpr int kIconPixels = 32; // the size of the icon an icon control shows

QWidget* MakeIcon(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setPixmap(AppIcon().pixmap(kIconPixels, kIconPixels));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QComboBox* MakeComboBox(const QString& text, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert); // typing a topic does not add it to the list
    combo->setEditText(text);
    return combo;
}

class Builder {
public:
    Builder(QDialog* dialog, const QFont& font, const char* context)
        : dialog_(dialog), font_(font), context_(context) {}

    QWidget* Create(const ControlTemplate& control) {
        QWidget* widget = Make(control);
        if (control.id != kNoId)
            widget->setObjectName(QString::number(control.id));
        if (!control.accessibleName.empty())
            widget->setAccessibleName(Translate(context_, control.accessibleName));
        widget->setGeometry(Geometry(control));
        if (control.styles & kNoTabStop)
            widget->setFocusPolicy(Qt::ClickFocus);
        if (control.styles & kDisabled)
            widget->setEnabled(false);
        if (control.styles & kHidden)
            widget->hide();
        return widget;
    }

private:
    QWidget* Make(const ControlTemplate& control) {
        const QString text = Translate(context_, control.text);
        switch (control.kind) {
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton: {
            auto* button = new QPushButton(text, dialog_);
            button->setDefault(control.kind == ControlKind::DefaultPushButton);
            button->setFlat(control.styles & kFlat);
            return button;
        }
        case ControlKind::Edit:
            return MakeEdit(text, control, dialog_);
        case ControlKind::Static:
            return MakeLabel(text, control, dialog_);
        case ControlKind::Placeholder:
            return new QWidget(dialog_);
        case ControlKind::GroupBox: {
            auto* box = new QGroupBox(text, dialog_);
            // A frame drawn behind the controls it surrounds, never in the way of a click.
            box->setAttribute(Qt::WA_TransparentForMouseEvents);
            box->setFocusPolicy(Qt::NoFocus);
            groupBoxes_.push_back(box);
            return box;
        }
        case ControlKind::RadioButton:
            return MakeRadio(control, text);
        case ControlKind::CheckBox:
            return new QCheckBox(text, dialog_);
        case ControlKind::ComboBox:
            return MakeComboBox(text, dialog_);
        case ControlKind::Icon:
            return MakeIcon(dialog_);
        }
        return new QWidget(dialog_);
    }

    // Radio buttons are exclusive within a run that starts at a button with kGroupStart, not
    // across the whole dialog as Qt would make them by default.
    QWidget* MakeRadio(const ControlTemplate& control, const QString& text) {
        auto* radio = new QRadioButton(text, dialog_);
        radio->setAutoExclusive(false);
        if ((control.styles & kGroupStart) || !radioGroup_) {
            radioGroup_ = new QButtonGroup(dialog_);
            radioGroup_->setExclusive(true);
        }
        radioGroup_->addButton(radio);
        return radio;
    }

    QRect Geometry(const ControlTemplate& control) const {
        QRect rect = DialogUnitsToPixels(control.rect, font_);
        if (control.kind == ControlKind::ComboBox) {
            // The template's height includes the dropped-down list; the box itself is as high
            // as an edit.
            const DialogRect editRect{0, 0, 0, kEditHeightUnits};
            rect.setHeight(std::min(rect.height(), DialogUnitsToPixels(editRect, font_).height()));
        }
        if (control.kind == ControlKind::Icon)
            rect.setSize(QSize(kIconPixels, kIconPixels));
        return rect;
    }

public:
    void LowerGroupBoxes() {
        for (QGroupBox* box : groupBoxes_)
            box->lower();
    }

private:
    static constexpr int kEditHeightUnits = 12;

    QDialog* dialog_;
    QFont font_;
    const char* context_;
    QButtonGroup* radioGroup_ = nullptr;
    std::vector<QGroupBox*> groupBoxes_;
};

void ShiftChildren(QDialog* dialog, int offset, const QWidget* except) {
    for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child != except && !child->isWindow())
            child->move(child->x(), child->y() + offset);
    }
}

} // namespace

QString Translate(const char* context, const std::string& sourceText) {
    if (sourceText.empty())
        return QString();
    return QCoreApplication::translate(context ? context : "", sourceText.c_str());
}

QFont DialogFont(const DialogTemplate& dialogTemplate) {
    QFont font;
    const QString face = QString::fromUtf8(dialogTemplate.fontFace);
    QStringList families;
    if (!face.isEmpty() && QFontDatabase::families().contains(face, Qt::CaseInsensitive))
        families << face;
    const QString fallback = InstalledCjkFamily();
    if (!fallback.isEmpty())
        families << fallback;
    if (!families.isEmpty())
        font.setFamilies(families);
    font.setPointSize(dialogTemplate.pointSize > 0 ? dialogTemplate.pointSize : 9);
    return font;
}

DialogBaseUnits BaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // The average width of a letter, rounded to the nearest pixel, as the original platform
    // measures it.
    return {(alphabet / 26 + 1) / 2, metrics.height()};
}

QRect DialogUnitsToPixels(const DialogRect& rect, const QFont& font) {
    const DialogBaseUnits units = BaseUnits(font);
    return QRect(MulDiv(rect.x, units.x, 4), MulDiv(rect.y, units.y, 8),
                 MulDiv(rect.width, units.x, 4), MulDiv(rect.height, units.y, 8));
}

void BuildDialog(const DialogTemplate& dialogTemplate, QDialog* dialog) {
    const QFont font = DialogFont(dialogTemplate);
    dialog->setFont(font);
    dialog->setWindowTitle(Translate(dialogTemplate.context, dialogTemplate.caption));
    if (dialogTemplate.minimizeBox) {
        dialog->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    } else {
        dialog->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowCloseButtonHint);
    }

    const int menuOffset = dialog->property(kMenuOffsetProperty).toInt();
    Builder builder(dialog, font, dialogTemplate.context);
    std::vector<QWidget*> widgets;
    widgets.reserve(dialogTemplate.controls.size());
    for (const ControlTemplate& control : dialogTemplate.controls) {
        QWidget* widget = builder.Create(control);
        widget->move(widget->x(), widget->y() + menuOffset);
        widgets.push_back(widget);
    }
    builder.LowerGroupBoxes();
    SetUpKeyboardAccess(dialogTemplate, widgets);

    const QRect client =
        DialogUnitsToPixels(DialogRect{0, 0, dialogTemplate.width, dialogTemplate.height}, font);
    dialog->setFixedSize(client.width(), client.height() + menuOffset);
    if (auto* bar = dialog->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly))
        bar->setGeometry(0, 0, client.width(), menuOffset);
}

QMenuBar* BuildMenu(const MenuTemplate& menuTemplate, QDialog* dialog) {
    auto* bar = new QMenuBar(dialog);
    bar->setNativeMenuBar(false);
    QMenu* menu = bar->addMenu(Translate(menuTemplate.context, menuTemplate.title));
    menu->setObjectName(QString::number(menuTemplate.id));
    for (const MenuItemTemplate& item : menuTemplate.items) {
        if (item.commandId == 0 && item.text.empty()) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(Translate(menuTemplate.context, item.text));
        action->setObjectName(QString::number(item.commandId));
        action->setData(item.commandId);
        if (item.shortcut == MenuShortcut::Save)
            action->setShortcut(QKeySequence::Save);
    }

    // The menu bar takes its height above the client area: the controls move down and the dialog
    // grows, so that every control keeps its place relative to the client area.
    const int height = bar->sizeHint().height();
    const int previous = dialog->property(kMenuOffsetProperty).toInt();
    ShiftChildren(dialog, height - previous, bar);
    dialog->setProperty(kMenuOffsetProperty, height);
    const QSize size = dialog->size();
    dialog->setFixedSize(size.width(), size.height() + height - previous);
    bar->setGeometry(0, 0, size.width(), height);
    return bar;
}

QWidget* Control(const QWidget* dialog, int id) {
    if (!dialog)
        return nullptr;
    const QString name = QString::number(id);
    if (auto* direct = dialog->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly))
        return direct;
    return dialog->findChild<QWidget*>(name);
}

} // namespace vessaro::res
