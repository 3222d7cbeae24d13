#include "KeyboardAccess.h"

#include "DialogBuilder.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace vessaro::res {
namespace {

// Controls whose tops lie this close together (in dialog units) stand in one row.
constexpr int kRowTolerance = 6;
// A label names a field that starts at most this far right of its end.
constexpr int kBuddyGap = 12;
// A label this close after a field's end is that field's unit ("市", "区").
constexpr int kUnitGap = 4;
// The height a drop-down takes on the dialog (its template height includes its list).
constexpr int kComboHeight = 12;

DialogRect ShownRect(const ControlTemplate& control) {
    DialogRect rect = control.rect;
    if (control.kind == ControlKind::ComboBox)
        rect.height = std::min(rect.height, kComboHeight);
    return rect;
}

bool IsField(const ControlTemplate& control) {
    switch (control.kind) {
    case ControlKind::Edit:
    case ControlKind::ComboBox:
    case ControlKind::RadioButton:
    case ControlKind::CheckBox:
        return true;
    default:
        return false;
    }
}

bool CanTakeFocus(const ControlTemplate& control) {
    return IsField(control) || control.kind == ControlKind::PushButton ||
           control.kind == ControlKind::DefaultPushButton;
}

// Buttons, radio buttons and check boxes are named by their caption; plain labels by their text.
// A static that code fills (it has an ID) is named for what it holds instead.
bool HasOwnText(const ControlTemplate& control) {
    switch (control.kind) {
    case ControlKind::Edit:
    case ControlKind::ComboBox:
    case ControlKind::Placeholder:
    case ControlKind::Icon:
        return false;
    case ControlKind::Static:
        return control.id == kNoId && !control.text.empty();
    default:
        return true;
    }
}

bool Contains(const DialogRect& outer, const DialogRect& inner) {
    const int x = inner.x + inner.width / 2;
    const int y = inner.y + inner.height / 2;
    return x >= outer.x && x < outer.x + outer.width && y >= outer.y && y < outer.y + outer.height;
}

bool SameRow(const DialogRect& a, const DialogRect& b) {
    return std::abs(a.y - b.y) <= kRowTolerance;
}

// Sorts indexes into rows, top to bottom, and each row left to right.
void SortReadingOrder(std::vector<std::size_t>& indexes, const std::vector<DialogRect>& rects) {
    std::stable_sort(indexes.begin(), indexes.end(),
                     [&](std::size_t a, std::size_t b) { return rects[a].y < rects[b].y; });
    for (auto rowBegin = indexes.begin(); rowBegin != indexes.end();) {
        const int rowTop = rects[*rowBegin].y;
        auto rowEnd = std::find_if(rowBegin, indexes.end(), [&](std::size_t i) {
            return rects[i].y - rowTop > kRowTolerance;
        });
        std::stable_sort(rowBegin, rowEnd,
                         [&](std::size_t a, std::size_t b) { return rects[a].x < rects[b].x; });
        rowBegin = rowEnd;
    }
}

// The smallest group box around the control at index, if any.
std::optional<std::size_t> EnclosingGroup(const DialogTemplate& dialogTemplate, std::size_t index) {
    const auto& controls = dialogTemplate.controls;
    std::optional<std::size_t> best;
    for (std::size_t g = 0; g < controls.size(); ++g) {
        if (g == index || controls[g].kind != ControlKind::GroupBox ||
            !Contains(controls[g].rect, ShownRect(controls[index])))
            continue;
        const auto area = [&](std::size_t i) {
            return controls[i].rect.width * controls[i].rect.height;
        };
        if (!best || area(g) < area(*best))
            best = g;
    }
    return best;
}

} // namespace

std::vector<std::size_t> VisualOrder(const DialogTemplate& dialogTemplate) {
    const auto& controls = dialogTemplate.controls;
    std::vector<DialogRect> rects;
    for (const ControlTemplate& control : controls)
        rects.push_back(ShownRect(control));

    std::vector<std::size_t> outer;
    std::vector<std::vector<std::size_t>> members(controls.size());
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const auto group = controls[i].kind == ControlKind::GroupBox
                               ? std::nullopt
                               : EnclosingGroup(dialogTemplate, i);
        if (group)
            members[*group].push_back(i);
        else
            outer.push_back(i);
    }
    SortReadingOrder(outer, rects);
    std::vector<std::size_t> order;
    for (std::size_t i : outer) {
        order.push_back(i);
        SortReadingOrder(members[i], rects);
        order.insert(order.end(), members[i].begin(), members[i].end());
    }
    return order;
}

std::optional<std::size_t> BuddyOf(const DialogTemplate& dialogTemplate, std::size_t labelIndex) {
    const auto& controls = dialogTemplate.controls;
    const ControlTemplate& label = controls.at(labelIndex);
    if (label.kind != ControlKind::Static || label.text.empty() || (label.styles & kNoPrefix))
        return std::nullopt;
    const int labelEnd = label.rect.x + label.rect.width;
    std::optional<std::size_t> best;
    int bestGap = kBuddyGap + 1;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const DialogRect field = ShownRect(controls[i]);
        if (!IsField(controls[i]) || !SameRow(label.rect, field))
            continue;
        const int fieldEnd = field.x + field.width;
        if (fieldEnd <= label.rect.x && label.rect.x - fieldEnd <= kUnitGap)
            return std::nullopt;
        const int gap = field.x - labelEnd;
        if (field.x >= label.rect.x && gap < bestGap) {
            best = i;
            bestGap = gap;
        }
    }
    return best;
}

QString StripMnemonic(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        else if (text[i] == QLatin1Char('&'))
            continue;
        shown.append(text[i]);
    }
    return shown;
}

void SetUpKeyboardAccess(const DialogTemplate& dialogTemplate,
                         const std::vector<QWidget*>& widgets) {
    const auto& controls = dialogTemplate.controls;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const QString text = Translate(dialogTemplate.context, controls[i].text);
        if (const auto field = BuddyOf(dialogTemplate, i)) {
            auto* label = static_cast<QLabel*>(widgets[i]);
            label->setText(text); // with its mnemonic, now that it has a field to focus
            label->setBuddy(widgets[*field]);
            if (!HasOwnText(controls[*field]) && widgets[*field]->accessibleName().isEmpty()) {
                widgets[*field]->setAccessibleName(StripMnemonic(text));
                if (auto* combo = qobject_cast<QComboBox*>(widgets[*field]);
                    combo && combo->lineEdit())
                    combo->lineEdit()->setAccessibleName(StripMnemonic(text));
            }
        }
        if (controls[i].kind == ControlKind::RadioButton)
            widgets[i]->setFocusPolicy(Qt::StrongFocus);
    }
    // Controls with no text of their own (the info and profile panes, an unlabelled edit) are
    // named by the group box around them.
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (!widgets[i]->accessibleName().isEmpty() || controls[i].kind == ControlKind::GroupBox)
            continue;
        if (HasOwnText(controls[i]))
            continue;
        if (const auto group = EnclosingGroup(dialogTemplate, i))
            widgets[i]->setAccessibleName(static_cast<QGroupBox*>(widgets[*group])->title());
    }

    QWidget* previous = nullptr;
    for (std::size_t i : VisualOrder(dialogTemplate)) {
        if (!CanTakeFocus(controls[i]))
            continue;
        if (previous)
            QWidget::setTabOrder(previous, widgets[i]);
        previous = widgets[i];
    }
}

} // namespace vessaro::res
