// Outside text (engine names, result names, paths, command lines) as GitHub-flavoured Markdown
// that renders as exactly that text and reads cleanly as it stands in the file.
#pragma once

#include <string>
#include <string_view>

/// `text` as Markdown inline text, also inside a table cell. A backslash goes only before what
/// would change the rendering where it stands: table pipes; the characters that start code,
/// emphasis, strikethrough, links and HTML (` * ~ [ <); an underscore that is not inside a
/// word; an ampersand that could start an entity; a backslash before punctuation or at the
/// end; and the ':' of "://" and the '.' of "www.", which GitHub would make links of. (A mail
/// address still becomes a mail link there: GitHub finds those after reading the escapes.)
/// Numbers, times, paths and result names stay as they are. Every control character,
/// noncharacter and byte that is not UTF-8 is the text "\xHH".
std::string MarkdownEscaped(std::string_view text);
