#include "run_compare/fisher_exact.h"

#include <algorithm>

#include <boost/math/distributions/hypergeometric.hpp>

namespace compare {

double FisherExactP(uint32_t failed_a, uint32_t runs_a, uint32_t failed_b, uint32_t runs_b) {
  if (runs_a == 0 || runs_b == 0) return 1;
  const uint32_t failed = failed_a + failed_b;
  const uint32_t runs = runs_a + runs_b;
  // How many of the failures fall on side B, drawing B's runs from all of them.
  const boost::math::hypergeometric_distribution<double> tables(failed, runs_b, runs);
  const double seen = boost::math::pdf(tables, failed_b);
  // Tables whose probability equals the seen one up to rounding count as no more likely.
  const double bound = seen * (1 + 1e-7);
  double p = 0;
  const uint32_t lowest = runs_b + failed > runs ? runs_b + failed - runs : 0;
  for (uint32_t x = lowest; x <= std::min(failed, runs_b); ++x) {
    const double probability = boost::math::pdf(tables, x);
    if (probability <= bound) p += probability;
  }
  return std::min(1.0, p);
}

}  // namespace compare
