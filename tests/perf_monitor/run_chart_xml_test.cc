// The chart is well-formed XML whatever the engine is called, as xmllint reads it.
#include <gtest/gtest.h>

#include <string>

#include "perf_monitor/run_chart.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"

namespace {

TEST(RunChartTest, IsWellFormedXmlWhateverTheEngineIsCalled) {
  TempFolder folder;
  for (const char* name : {"vxr64_qa.exe", "a<b>&\"c\"", "caf\xe9\x01.exe"}) {
    SCOPED_TRACE(name);
    const RunChart chart{
        name, 3.018, {{4, -999, 10, -999, std::nullopt}, {1005, 40, 10, -999, std::nullopt}}, {{500, 900}}};
    const auto file = folder.Write("chart.svg", RunChartSvg(chart));
    ProgramRun lint = RunProgram("/usr/bin/xmllint", {"--noout", file.string()});
    EXPECT_EQ(0, lint.exit_code) << lint.errors;
  }
}

}  // namespace
