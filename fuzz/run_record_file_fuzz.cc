// testkve-compare's reader of /JSON records on arbitrary bytes: it either refuses the file with
// an error that names it, or gives runs whose figures are all finite and not negative, the two
// sides of an /AB record in complete pairs; and the comparison of what it read never fails.
#include <cmath>
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "run_compare/comparison.h"
#include "run_compare/comparison_report.h"
#include "run_compare/run_record_file.h"

namespace {

void CheckFigures(const compare::SideRuns& side) {
  for (compare::Figure figure : compare::kFigures) {
    for (double value : compare::FigureValues(side, figure)) {
      if (!std::isfinite(value) || value < 0) std::abort();
    }
  }
  if (side.results.size() != side.size() || side.failed.size() != side.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FuzzInputFile input("record.jsonl");
  input.Write({data, size});
  std::string error;
  const std::optional<compare::RecordedRuns> runs = compare::ReadRunRecord(input.path(), &error);
  if (!runs) {
    if (error.find(input.path()) == std::string::npos) std::abort();
    return 0;
  }
  CheckFigures(runs->a);
  CheckFigures(runs->b);
  if (runs->ab && runs->a.size() != runs->b.size()) std::abort();
  const compare::SideRuns& b = runs->ab ? runs->b : runs->a;
  const compare::Comparison comparison = compare::Compare(runs->a, b, runs->ab, 0.05);
  if (compare::ComparisonText(comparison).empty()) std::abort();
  return 0;
}
