#include "run_compare/failure_gate.h"

#include <charconv>
#include <cstdio>

namespace compare {
namespace {

std::string Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return std::string(text);
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return lower;
}

// "wall" and the others; false for an unknown name.
bool FigureNamed(const std::string& name, GateRule* rule) {
  static constexpr std::pair<std::string_view, Figure> kNames[] = {
      {"wall", Figure::kWall}, {"user", Figure::kUser}, {"system", Figure::kSystem}, {"peak", Figure::kPeak}};
  if (name == "failures") return true;
  for (const auto& [known, figure] : kNames) {
    if (name == known) rule->figure = figure;
  }
  return rule->figure.has_value();
}

// "+5%", "5", "-2.5 %": a finite decimal number, a sign and a percent sign allowed.
bool ReadThreshold(std::string text, double* threshold) {
  if (!text.empty() && text.back() == '%') text = Trimmed(std::string_view(text).substr(0, text.size() - 1));
  std::string_view number = text;
  if (!number.empty() && number.front() == '+') number.remove_prefix(1);
  if (number.empty() || number.front() == '+') return false;
  auto [end, status] =
      std::from_chars(number.data(), number.data() + number.size(), *threshold, std::chars_format::fixed);
  return status == std::errc() && end == number.data() + number.size();
}

std::optional<GateRule> ParseRule(std::string_view text, std::string* error) {
  const size_t mark = text.find('>');
  GateRule rule;
  if (mark == std::string_view::npos) {
    *error = "\"" + Trimmed(text) + "\" is not <figure>><threshold>";
    return std::nullopt;
  }
  const std::string name = Lower(Trimmed(text.substr(0, mark)));
  if (!FigureNamed(name, &rule)) {
    *error = "\"" + name + "\" is not one of wall, user, system, peak, failures";
    return std::nullopt;
  }
  if (!ReadThreshold(Trimmed(text.substr(mark + 1)), &rule.threshold)) {
    *error = "\"" + Trimmed(text.substr(mark + 1)) + "\" is not a threshold such as +5%";
    return std::nullopt;
  }
  return rule;
}

std::string Percent(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%+.1f %%", value);
  return text;
}

std::string FigureBreak(const FigureComparison& figure, double threshold, double level) {
  char p[32];
  std::snprintf(p, sizeof p, "%.4f", figure.shift->p_value);
  return std::string(FigureTitle(figure.figure)) + " " + Percent((*figure.ratio - 1) * 100) + " (" +
         Percent((1 - level) * 100).substr(1) + " CI " + Percent((*figure.ratio_low - 1) * 100) + " to " +
         Percent((*figure.ratio_high - 1) * 100) + ", p = " + p + ") beyond " + Percent(threshold);
}

std::string FailureBreak(const FailureComparison& failures, double threshold) {
  char text[160];
  std::snprintf(text, sizeof text, "failures %.1f %% against %.1f %% (Fisher's exact p = %.4f) beyond %+.1f points",
                failures.RateB(), failures.RateA(), failures.p_value, threshold);
  return text;
}

}  // namespace

std::optional<std::vector<GateRule>> ParseGate(std::string_view text, std::string* error) {
  std::vector<GateRule> rules;
  while (true) {
    const size_t comma = text.find(',');
    const std::optional<GateRule> rule = ParseRule(text.substr(0, comma), error);
    if (!rule) return std::nullopt;
    rules.push_back(*rule);
    if (comma == std::string_view::npos) return rules;
    text.remove_prefix(comma + 1);
  }
}

std::string BrokenRules(const Comparison& comparison, const std::vector<GateRule>& rules) {
  std::string broken;
  auto add = [&broken](const std::string& reason) { broken += (broken.empty() ? "" : "; ") + reason; };
  for (const GateRule& rule : rules) {
    if (!rule.figure) {
      const FailureComparison& failures = comparison.failures;
      if (failures.significant && failures.RateB() - failures.RateA() > rule.threshold) {
        add(FailureBreak(failures, rule.threshold));
      }
      continue;
    }
    const FigureComparison& figure = comparison.figures[static_cast<size_t>(*rule.figure)];
    if (figure.significant && figure.ratio && (*figure.ratio - 1) * 100 > rule.threshold) {
      add(FigureBreak(figure, rule.threshold, comparison.level));
    }
  }
  return broken;
}

}  // namespace compare
