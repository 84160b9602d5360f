// How the text this program holds is encoded: its command line, the paths it is given, the
// lines it scans.
#pragma once

namespace platform {

/// True where every text the program holds is UTF-8 whatever the locale says: on Windows, where
/// our own code converts all text from the system's UTF-16 (the C runtime's locale there is
/// 1252 or 932 whatever the manifest asks for). False on POSIX, where text is in the
/// multibyte encoding of the process's locale.
bool TextIsUtf8();

/// The code page in which the system's narrow (ANSI) calls, and programs built on them, read
/// text, when it is not UTF-8: Windows before 10 version 1903 ignores the manifest that asks
/// for UTF-8. 0 when it is UTF-8, and on POSIX, which has no such calls.
unsigned NarrowCodePageOtherThanUtf8();

}  // namespace platform
