#pragma once

#include "DialogTemplate.h"

#include <QString>

#include <cstddef>
#include <optional>
#include <vector>

class QWidget;

namespace vessaro::res {

// How a dialog built from a template is used without a mouse, worked out from where its controls
// stand: a template lists its controls in the order they were drawn, not in the order a person
// reads them.

// The indexes of the template's controls in reading order: the group boxes and the controls
// outside them top to bottom, left to right (a row holds whatever starts within a few dialog units
// of its first control's top), and inside each group box its controls in the same order.
std::vector<std::size_t> VisualOrder(const DialogTemplate& dialogTemplate);

// The field that the label at labelIndex names: the nearest edit, drop-down, radio button or check
// box that starts just right of it on the same row. None for a label that is not a plain static,
// for one that reads as the unit of the field just left of it (the "市" after a city), and for one
// with no field beside it.
std::optional<std::size_t> BuddyOf(const DialogTemplate& dialogTemplate, std::size_t labelIndex);

// The text shown for a text with mnemonic markers: "&&" becomes one "&", a single "&" goes.
QString StripMnemonic(const QString& text);

// Applies the above to widgets (one per control, in template order): labels become the buddies of
// their fields, every field is named for assistive technology by its label (a static inside a
// group box by the group's title), radio buttons take part in the Tab chain, and the chain follows
// VisualOrder.
void SetUpKeyboardAccess(const DialogTemplate& dialogTemplate,
                         const std::vector<QWidget*>& widgets);

} // namespace vessaro::res
