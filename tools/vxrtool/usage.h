// vxrtool's usage text: the whole of it, or the part for one command or action.
#pragma once

#include <cstdio>
#include <span>
#include <string_view>

/// Prints the usage line and the entries of every command on `stream`.
void PrintUsage(std::FILE* stream);

/// Prints the usage line and the entries of the command named by the first words of `words`
/// ("ptn build ..." gives the entry of ptn build, "ptn" every ptn entry). False, printing
/// nothing, when no command has that name.
bool PrintCommandUsage(std::FILE* stream, std::span<char* const> words);
