// Every way the tests damage a good file or block: each copy cut short, and each copy with one
// byte changed, as the fuzz targets' replay does to their seeds. Works on std::string and on
// byte vectors alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

template <typename Bytes>
struct DamagedCopy {
  Bytes bytes;
  std::string what;  ///< for the failure message: "cut to 12 bytes", "byte 7 ^ 0x80"
};

/// `whole` cut to each length from `shortest` up to one byte short of whole.
template <typename Bytes>
std::vector<DamagedCopy<Bytes>> CutCopies(const Bytes& whole, size_t shortest = 0) {
  std::vector<DamagedCopy<Bytes>> copies;
  for (size_t size = shortest; size < whole.size(); ++size)
    copies.push_back({Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)),
                      "cut to " + std::to_string(size) + " bytes"});
  return copies;
}

/// `whole` with one byte exclusive-or'ed with one of `masks`, for every byte and mask.
template <typename Bytes>
std::vector<DamagedCopy<Bytes>> FlippedCopies(const Bytes& whole,
                                              std::initializer_list<uint8_t> masks = {0x01, 0x80, 0xFF}) {
  std::vector<DamagedCopy<Bytes>> copies;
  for (size_t at = 0; at < whole.size(); ++at) {
    for (const uint8_t mask : masks) {
      Bytes changed = whole;
      changed[at] = static_cast<typename Bytes::value_type>(static_cast<uint8_t>(changed[at]) ^ mask);
      copies.push_back({std::move(changed), "byte " + std::to_string(at) + " ^ " + std::to_string(mask)});
    }
  }
  return copies;
}
