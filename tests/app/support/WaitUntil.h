#pragma once

#include <functional>

namespace vessaro::test {

// Runs the event loop until done() holds or the time is up; returns done(). Unlike
// QTest::qWaitFor, which sleeps between rounds of events, it answers every event at once, which
// the web engine's many round trips between its threads need to stay quick.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

} // namespace vessaro::test
