// Fisher's exact test of two failure rates, over Boost.Math's hypergeometric distribution.
#pragma once

#include <cstdint>

namespace compare {

/// The two-sided p value that `failed_b` of `runs_b` runs failing on one side and `failed_a` of
/// `runs_a` on the other come from one failure rate: the sum of the probabilities of every
/// table with the same margins that is no more likely than the one seen. 1 when either side
/// has no runs.
double FisherExactP(uint32_t failed_a, uint32_t runs_a, uint32_t failed_b, uint32_t runs_b);

}  // namespace compare
