// What a group's tests say to a biologist past c-hat: which tests of the headline's set reject
// (p < 0.05), the largest share of the statistic first, what each points to and what to do,
// and c-hat once the model they suggest is fitted. (c-hat itself: group_fit.h.)
#pragma once

#include <string>
#include <vector>

#include "gof/group_fit.h"

namespace haplovex::gof {

// Below this p a test's total is named in the reading.
inline constexpr double kNamedBelow = 0.05;

// Which way the animals of a test of 2x2 tables differ, over its components (from each
// component's excess, Component::excess).
// 3G.SR: by the summed excess of the animals first caught and caught again, below 0 where the
// newly marked are seen again less often than expected. 3.SR: by the sign of its signed value
// (the sum over the components of the sign of the excess of those caught before and caught
// again, times the root of the statistic), above 0 where the newly marked are seen again less
// often. Either way true where they are: what transients do.
bool NewlyMarkedSeenLess(const TestResult& test);
// 2.CT: by the sign of its signed value (the animals released before a period and next caught
// at the one after it), below 0 where those caught at the period are caught at the next more
// often: trap-happy.
bool TrapHappy(const TestResult& test);

// The lines of the reading, each a sentence or two: the tests named, then c-hat once the
// suggested model is fitted, then what the tests cannot tell (memory, one stratum). Empty where
// no test of the set rejects and the group has more than one stratum.
std::vector<std::string> Reading(const GroupFit& g);

}  // namespace haplovex::gof
