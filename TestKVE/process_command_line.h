// Linux hands a program argv; the harness scans one text as the process command line.
#pragma once

#include <string>

/// Joins the elements with one space. An element holding a space or tab is quoted as Windows
/// would show it: /NAME=value with space becomes /NAME="value with space", any other such
/// element (and an empty one) is quoted whole.
std::string ProcessCommandLineText(int argc, const char* const* argv);
