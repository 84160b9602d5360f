// Permission refusals as an ordinary user sees them, even when the tests run as root (CI does),
// where every read and write would be allowed and the refusal never tested.
#pragma once

#include <functional>
#include <string>

/// The user and group an unprivileged child runs as ("nobody" on Debian).
inline constexpr unsigned kUnprivilegedId = 65534;

/// Runs `body` in a forked child and returns what it returned. When this process runs as root
/// the child first drops to group and user kUnprivilegedId (supplementary groups cleared), so
/// files it may not read or write are refused to it; otherwise it keeps the caller's user.
/// Paths the body uses must be reachable by that user (the test's temporary folder is made
/// accessible by the caller). False, with the reason on standard error, when the child cannot
/// be forked, drop its rights, or ends any other way. GoogleTest assertions inside `body`
/// print their failures from the child; return !::testing::Test::HasFailure() to carry them.
bool RunUnprivileged(const std::function<bool()>& body);

/// Whether RunUnprivileged changes user: this process runs as root.
bool RunningAsRoot();
