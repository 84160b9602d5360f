// The answers of the integrity checks. They are this module's own: the library alone turns
// them into its result codes, so nothing here depends on the library's interface.
#pragma once

enum class IntegrityVerdict {
  kValid,       ///< the signature is good, or the engine is accepted
  kInvalid,     ///< the signature is missing, wrong or not trusted, or the engine is refused
  kUnreadable,  ///< no path was given, or the file cannot be sized or opened
};
