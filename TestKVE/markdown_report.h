// The GitHub-flavoured Markdown of /MARKDOWN, for a CI job's summary: the run, its summary
// and the failed passes as tables, without plots.
#pragma once

#include <string>
#include <string_view>

#include "TestKVE/run_report.h"

/// `text` as Markdown inline text, also inside a table cell: ASCII punctuation behind a
/// backslash (so nothing becomes markup, HTML or a cell border), and every control character,
/// noncharacter and byte that is not UTF-8 as the text "\xHH".
std::string MarkdownEscaped(std::string_view text);

/// The whole document.
std::string MarkdownReport(const RunReport& report);
