// The JUnit XML report of /JUNIT: one test suite, one test case per pass.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "TestKVE/run_record.h"

/// `text` as XML character data or attribute value: & < > " ' as entities, tab, line feed
/// and carriage return as character references (attribute values keep them), and every byte
/// that is not part of a character XML allows (other control bytes, bytes that are not UTF-8,
/// U+FFFE, U+FFFF) as the text "\xHH". Always well-formed UTF-8.
std::string XmlEscaped(std::string_view text);

/// The name of a pass's test case: "pass <n>", then its pattern names after a colon and
/// separated by spaces.
std::string TestCaseName(const PassRecord& pass);

/// The whole report: a <testsuites> element holding one <testsuite> with the run's host name
/// and properties and a <testcase> per pass (its time in seconds), each with a <failure>
/// carrying the result name and the pass's figures when the pass did not succeed. A run that
/// a stop signal `interrupted` says so in the property "interrupted".
std::string JUnitReport(const RunDescription& run, std::span<const PassRecord> passes, bool interrupted = false);
