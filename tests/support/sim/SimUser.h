#pragma once

#include "ReconnectBackoff.h"
#include "Simulation.h"

#include <memory>

namespace vessaro::test {

// A user as the console client's --auto-match --auto-accept plays one: asks for a partner once
// connected, accepts every offer, looks again after a conversation, and when the session ends
// without being asked to (the server lost, a connect refused or unanswered) connects again after
// the ReconnectBackoff wait, as the views do.
void MakeAutoUser(Simulation& sim, SimClient& client, const char* nickname, int32_t sex,
                  int32_t wantSex);

// Two such users who want each other: a, a man looking for a woman, and b, a woman looking for a
// man. Neither is connected yet.
void MakeAutoPair(Simulation& sim, SimClient& a, SimClient& b);

// Whether both are in a conversation.
bool BothTalking(const SimClient& a, const SimClient& b);

} // namespace vessaro::test
