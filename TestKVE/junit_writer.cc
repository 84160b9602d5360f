#include "TestKVE/junit_writer.h"

#include <cstdio>

#include "TestKVE/utf8_text.h"

namespace {

// The characters XML 1.0 allows besides tab, line feed and carriage return.
bool IsXmlCharacter(char32_t code) { return code >= 0x20 && code != 0xFFFE && code != 0xFFFF; }

// Markup characters as entities; tab, line feed and carriage return as character references,
// so attribute values keep them.
const char* EntityFor(char32_t code) {
  switch (code) {
    case '\t':
      return "&#9;";
    case '\n':
      return "&#10;";
    case '\r':
      return "&#13;";
    default:
      return MarkupEntity(code);
  }
}

// In element content a line feed and a tab stay as they are, for a reader of the output; a
// carriage return must be a reference, or a parser turns it into a line feed.
bool IsXmlTextCharacter(char32_t code) { return code == '\t' || code == '\n' || IsXmlCharacter(code); }
const char* TextEntityFor(char32_t code) { return code == '\r' ? "&#13;" : MarkupEntity(code); }

std::string XmlTextEscaped(std::string_view text) { return EscapedText(text, {IsXmlTextCharacter, TextEntityFor}); }

// "standard output: 12 bytes", or the part kept of more.
std::string StreamNote(const char* name, size_t kept, uint64_t written) {
  std::string note = std::string("\nengine ") + name + ": " + std::to_string(written) + " bytes";
  if (kept < written) note += ", the last " + std::to_string(kept) + " of them below";
  return note;
}

// The engine's own output of the pass, as JUnit's readers show it beside the failure.
std::string OutputElements(const EngineOutput& output) {
  return "      <system-out>" + XmlTextEscaped(output.output) + "</system-out>\n      <system-err>" +
         XmlTextEscaped(output.error) + "</system-err>\n";
}

std::string Seconds(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", ms / 1000);
  return text;
}

std::string Property(const char* name, const std::string& value) {
  return "      <property name=\"" + std::string(name) + "\" value=\"" + XmlEscaped(value) + "\"/>\n";
}

std::string TestCase(const PassRecord& pass) {
  std::string element = "    <testcase classname=\"TestKVE\" name=\"" + XmlEscaped(TestCaseName(pass)) + "\" time=\"" +
                        Seconds(pass.wall_ms) + "\"";
  if (!pass.failed()) return element + "/>\n";
  const std::string name = XmlEscaped(pass.result_name);
  if (!pass.ran()) {
    return element + ">\n      <failure message=\"" + name + "\" type=\"" + name + "\">" +
           XmlEscaped("The preparation failed (" + pass.not_run + "); the engine did not run") +
           "</failure>\n    </testcase>\n";
  }
  char figures[160];
  std::snprintf(figures, sizeof figures, "\nresult 0x%x, wall %.1f ms, user %.1f ms, system %.1f ms, peak %ju KiB",
                static_cast<unsigned>(pass.result), pass.wall_ms, pass.user_ms, pass.system_ms,
                static_cast<uintmax_t>(pass.peak_kib));
  std::string detail = "Error Code: " + pass.result_name + figures;
  if (pass.timed_out) detail = "Engine timed out\n" + detail;
  if (pass.output) {
    detail += StreamNote("standard output", pass.output->output.size(), pass.output->output_bytes) +
              StreamNote("standard error", pass.output->error.size(), pass.output->error_bytes);
  }
  return element + ">\n      <failure message=\"" + name + "\" type=\"" + name + "\">" + XmlEscaped(detail) +
         "</failure>\n" + (pass.output ? OutputElements(*pass.output) : "") + "    </testcase>\n";
}

}  // namespace

std::string XmlEscaped(std::string_view text) { return EscapedText(text, {IsXmlCharacter, EntityFor}); }

std::string TestCaseName(const PassRecord& pass) {
  std::string name = "pass " + std::to_string(pass.number);
  if (!pass.side.empty()) name += " side " + pass.side;
  for (size_t i = 0; i < pass.pattern_names.size(); ++i) name += (i == 0 ? ": " : " ") + pass.pattern_names[i];
  return name;
}

std::string JUnitReport(const RunDescription& run, std::span<const PassRecord> passes, bool interrupted) {
  size_t failures = 0;
  double total_ms = 0;
  for (const PassRecord& pass : passes) {
    failures += pass.failed() ? 1 : 0;
    total_ms += pass.wall_ms;
  }
  const std::string counts = "tests=\"" + std::to_string(passes.size()) + "\" failures=\"" + std::to_string(failures) +
                             "\" errors=\"0\" time=\"" + Seconds(total_ms) + "\"";
  // A JUnit time stamp has no zone and no fraction; it is UTC here.
  const std::string timestamp = IsoTimeUtc(run.start_unix_ms).substr(0, 19);
  std::string report = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  report += "<testsuites name=\"TestKVE\" " + counts + ">\n";
  report += "  <testsuite name=\"TestKVE engine runs\" " + counts + " skipped=\"0\" timestamp=\"" + timestamp +
            "\" hostname=\"" + XmlEscaped(run.host_name.empty() ? "localhost" : run.host_name) + "\">\n";
  report += "    <properties>\n" + Property("engine.path", run.engine_path) +
            Property("engine.version", run.engine_version) + Property("engine.build", run.engine_build) +
            Property("engine.sha256", run.engine_sha256) + Property("command_line", run.command_line) +
            (interrupted ? Property("interrupted", "true") : "") + "    </properties>\n";
  for (const PassRecord& pass : passes) report += TestCase(pass);
  report += "  </testsuite>\n</testsuites>\n";
  return report;
}
