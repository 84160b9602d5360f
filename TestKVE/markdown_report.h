// The GitHub-flavoured Markdown of /MARKDOWN, for a CI job's summary: the run, its summary
// and the failed passes as tables, without plots.
#pragma once

#include <string>

#include "TestKVE/run_report.h"

/// The whole document.
std::string MarkdownReport(const RunReport& report);
