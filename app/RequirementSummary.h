#pragma once

#include "ConditionValues.h"

#include <QString>

namespace vessaro {

// The text the matching window shows while it waits for a partner: topic, sex, age range and
// location as the conditions dialog holds them (not as the request carried them). When both
// partner location texts are empty it ticks the location "都可以" box in values, so that the dialog
// shows it ticked from then on.
QString RequirementSummary(ConditionValues& values);

} // namespace vessaro
