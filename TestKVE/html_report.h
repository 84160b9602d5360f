// The HTML page of /REPORT: one self-contained file (inline CSS and SVG, no script, nothing
// fetched) with the run, its summary, plots of the passes and of the monitor's samples, and
// the failed passes.
#pragma once

#include <string>
#include <string_view>

#include "TestKVE/run_report.h"

/// `text` as HTML character data or attribute value: & < > " ' as entities, and every control
/// character, noncharacter and byte that is not UTF-8 as the text "\xHH", so no text of the
/// run can become markup and the page is always well-formed UTF-8.
std::string HtmlEscaped(std::string_view text);

/// The whole page.
std::string HtmlReport(const RunReport& report);
