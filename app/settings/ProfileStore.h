#pragma once

#include "ConditionValues.h"

class QSettings;

namespace vessaro {

// The profile and wishes the user last accepted in the conditions dialog, kept under "profile/"
// in the settings so that the next start shows them again. Each field is checked on load: one
// that is missing, of the wrong kind, out of range or too long (a hand-edited or damaged file)
// gives that field's designed default and leaves the others as stored.
ConditionValues LoadProfile(const QSettings& store);
void StoreProfile(QSettings& store, const ConditionValues& values);
// Forgets them: the next load gives the designed defaults.
void ClearProfile(QSettings& store);

// The longest self-introduction the dialog takes, in GBK bytes.
inline constexpr std::size_t kStoredIntroBytes = 63;

} // namespace vessaro
