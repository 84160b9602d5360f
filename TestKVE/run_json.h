// The JSON Lines of /JSON: one object per line for the run, each pass and the summary.
//
// Every string carries its bytes exactly: well-formed UTF-8 as it is, and a byte that is not
// as the escape \udc80 to \udcff of the lone surrogate U+DC00 plus the byte (the convention
// of Python's "surrogateescape"), so each line stays valid JSON and the bytes can be had back.
#pragma once

#include <string>
#include <string_view>

#include "TestKVE/run_record.h"
#include "TestKVE/run_summary.h"

/// Each is one line of JSON without its line feed.
std::string RunJsonLine(const RunDescription& run);
std::string PassJsonLine(const PassRecord& pass);
std::string SummaryJsonLine(const RunSummary& summary);

/// A JSON string literal (quotes included) for any bytes, escaped as above.
std::string JsonStringLiteral(std::string_view bytes);
