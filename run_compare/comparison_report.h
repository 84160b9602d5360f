// The comparison of two sides as text for the console, as Markdown, and as an HTML page that
// plots the distributions of both sides.
#pragma once

#include <string>

#include "run_compare/comparison.h"

namespace compare {

/// The comparison as lines for the console, each ending in a line feed.
std::string ComparisonText(const Comparison& comparison);

/// The comparison as a Markdown section with one table.
std::string ComparisonMarkdown(const Comparison& comparison);

/// A whole HTML page: the comparison's table, and for each figure one plot with the
/// distributions (cumulative share of runs) of both sides, `a` and `b` being what was compared.
std::string ComparisonHtml(const Comparison& comparison, const SideRuns& a, const SideRuns& b);

}  // namespace compare
