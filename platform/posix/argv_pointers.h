// The char* array that exec and posix_spawn take, pointing into strings that outlive it.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace platform::posix {

/// `arguments` as a null-terminated array of pointers, ready before a fork so that the child
/// allocates nothing.
class ArgvPointers {
 public:
  explicit ArgvPointers(std::span<const std::string> arguments) {
    pointers_.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments) pointers_.push_back(const_cast<char*>(argument.c_str()));
    pointers_.push_back(nullptr);
  }
  char* const* get() const { return pointers_.data(); }

 private:
  std::vector<char*> pointers_;
};

}  // namespace platform::posix
