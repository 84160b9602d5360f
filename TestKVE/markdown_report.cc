#include "TestKVE/markdown_report.h"

#include "TestKVE/markdown_text.h"

namespace {

std::string Row(const std::vector<std::string>& cells) {
  std::string row = "|";
  for (const std::string& cell : cells) row += " " + MarkdownEscaped(cell) + " |";
  return row + "\n";
}

std::string Table(const TextTable& table) {
  std::string out = Row(table.header) + "|";
  for (size_t column = 0; column < table.header.size(); ++column)
    out += column < table.numeric.size() && table.numeric[column] ? " ---: |" : " --- |";
  out += "\n";
  for (const auto& row : table.rows) out += Row(row);
  return out;
}

}  // namespace

std::string MarkdownReport(const RunReport& report) {
  std::string out = "# TestKVE run report\n\n**" + MarkdownEscaped(Headline(report)) + "**";
  if (const std::string note = InterruptionNote(report); !note.empty()) out += " \xE2\x80\x94 " + MarkdownEscaped(note);
  out += "\n\n";
  TextTable facts{{"Run", ""}, {}, {false, false}};
  for (const auto& [label, value] : RunFacts(report)) facts.rows.push_back({label, value});
  out += Table(facts) + "\n## Summary\n\n" + Table(ResultTable(report)) + "\n";
  if (!report.passes.empty()) out += Table(FigureTable(report)) + "\n";
  if (const std::string warning = GrowthWarning(report); !warning.empty())
    out += "> **" + MarkdownEscaped(warning) + "**\n\n";
  if (const std::string note = OutlierNote(report); !note.empty()) out += "> **" + MarkdownEscaped(note) + "**\n\n";
  const size_t failures = FailureCount(report.passes);
  out += "## Failed passes\n\n";
  if (failures == 0) return out + "None.\n";
  const TextTable failed = FailureTable(report);
  out += Table(failed);
  if (failures > failed.rows.size())
    out += "\n... and " + std::to_string(failures - failed.rows.size()) + " more failed passes.\n";
  return out;
}
