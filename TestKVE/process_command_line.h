// Linux hands a program argv; the harness scans one text as the process command line.
#pragma once

#include <string>

/// The element of argv that cannot be written into the one text, and why.
struct CarryFailure {
  int index = -1;
  std::string reason;
};

/// Joins the elements with one space, each written so that the option scan reads back what
/// it holds:
///  - an element without space or tab is written as it is; the quotes a user put in it keep
///    their meaning, and a quoted value left open is closed at the element's end, so it
///    never swallows the elements after it;
///  - an option /NAME=value whose value holds a space or tab is written /NAME="value"; a value
///    already wholly in double quotes ("/NAME=\"a b\"") is taken as quoted by the user;
///  - any other element with a space or tab is quoted whole, as Windows shows it.
/// A value that holds a space or tab and a double quote anywhere but around it has no way to
/// be written: false, with that element in `failure`, and `text` is not to be used.
bool CarryProcessCommandLine(int argc, const char* const* argv, std::string* text, CarryFailure* failure);

/// The joined text as CarryProcessCommandLine writes it, for callers that have already
/// checked the arguments; an element that cannot be carried is quoted whole.
std::string ProcessCommandLineText(int argc, const char* const* argv);
