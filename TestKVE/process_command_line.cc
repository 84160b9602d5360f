#include "TestKVE/process_command_line.h"

#include <string_view>

namespace {

std::string QuoteElement(std::string_view element) {
  if (!element.empty() && element.find_first_of(" \t") == std::string_view::npos)
    return std::string(element);
  size_t equals = element.find('=');
  bool is_option = !element.empty() && (element[0] == '/' || element[0] == '-');
  if (is_option && equals != std::string_view::npos &&
      element.substr(0, equals).find_first_of(" \t") == std::string_view::npos) {
    return std::string(element.substr(0, equals + 1)) + '"' +
           std::string(element.substr(equals + 1)) + '"';
  }
  return '"' + std::string(element) + '"';
}

}  // namespace

std::string ProcessCommandLineText(int argc, const char* const* argv) {
  std::string text;
  for (int i = 0; i < argc; ++i) {
    if (i > 0)
      text += ' ';
    text += QuoteElement(argv[i]);
  }
  return text;
}
