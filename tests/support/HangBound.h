#pragma once
// How long the tests wait for an event before they call it a hang. Generous on purpose: a
// loaded machine (CI, sanitizers, both cores busy) can take seconds for what takes milliseconds
// on a quiet one, and a wait ends as soon as its event comes.

#include <chrono>

namespace testing_support {

inline constexpr std::chrono::seconds kHangBound{60};

} // namespace testing_support
