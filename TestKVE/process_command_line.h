// The process command line as the harness scans it: the system's own text where it keeps one
// (Windows); Linux hands a program argv, which the harness joins into one text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

/// The process's command line as the option scan reads it, and the length in bytes of the
/// program's path at its front (the options scanned from it are the system's, not the user's).
struct ProcessLine {
  std::string text;
  size_t program_length = 0;
};

/// Where the system keeps the command line as one text (Windows), that text as the user typed
/// it: nothing is rebuilt, so nothing can fail. Else argv carried by CarryProcessCommandLine;
/// false, with the element in `failure`, when one cannot be carried.
bool ReadProcessLine(int argc, const char* const* argv, ProcessLine* line, CarryFailure* failure);

/// The length of the program's path at the front of a Windows command line, as the system
/// reads it there: up to the closing double quote when it opens with one, else up to the first
/// blank.
size_t WindowsProgramPathLength(std::string_view text);
