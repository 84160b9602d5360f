#include "pattern_fixture.h"

#include <zlib.h>

namespace pattern_fixture {

std::string Le(uint64_t value, size_t width) {
  std::string bytes(width, '\0');
  for (size_t i = 0; i < width; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

std::string Deflate(std::string_view plain) {
  z_stream stream{};
  deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  // uLong is 32 bits on Windows; the fixtures are far smaller.
  std::string out(deflateBound(&stream, static_cast<uLong>(plain.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  stream.avail_in = static_cast<uInt>(plain.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

std::string Masked(std::string body) {
  for (char& c : body) c = static_cast<char>(c ^ '\xA7');
  return body;
}

std::string RecordHeader(uint32_t kind, uint16_t a, uint16_t b, uint16_t version) {
  return Le(kind, 4) + Le(a, 2) + Le(0, 4) + Le(version, 2) + Le(b, 2);
}

std::string Record(uint32_t kind, const std::string& plain_body, uint16_t version) {
  return RecordHeader(kind, static_cast<uint16_t>(plain_body.size()), 1, version) + Masked(plain_body);
}

std::string Trailer() { return std::string(128, 's') + Le(128, 4); }

std::string Section(uint8_t mode, uint16_t d, const std::string& stored) {
  return std::string(10, 'h') + static_cast<char>(mode) + 'h' + Le(d, 2) + stored;
}

std::string PlainSection(const std::string& region) { return Section(0, static_cast<uint16_t>(region.size()), region); }

std::string PerEntrySection(const std::string& region) {
  return Section(0x01, static_cast<uint16_t>(region.size()), region);
}

std::string WholeSection(const std::string& region, int d_offset) {
  return Section(0x81, static_cast<uint16_t>(static_cast<int>(region.size()) + d_offset), Deflate(region));
}

std::string Entry(const std::string& stored, uint16_t h, uint16_t u) {
  std::string header = Le(h, 2) + "uuuu" + Le(u, 2) + Le(stored.size(), 2);
  if (h > 10) header += std::string(h - 10u, 'x');
  return header + stored;
}

std::string CompressedEntry(const std::string& plain, int u_offset) {
  return Entry(Deflate(plain), 10, static_cast<uint16_t>(static_cast<int>(plain.size()) + u_offset));
}

std::string NameSub(std::string_view name, uint16_t k, uint8_t tag, uint8_t kind) {
  std::string field(name.substr(0, 18));
  field.resize(18, '\0');
  return std::string{static_cast<char>(tag), static_cast<char>(kind)} + field + Le(k, 2) + std::string(4u * k, 'i');
}

std::string NameData(const std::string& subs, int n) {
  return std::string(20, 'z') + Le(n < 0 ? subs.size() : static_cast<size_t>(n), 2) + subs;
}

std::string Names(std::initializer_list<std::string_view> names) {
  std::string subs;
  for (std::string_view name : names) subs += NameSub(name);
  return NameData(subs);
}

std::string NamesFile(std::initializer_list<std::string_view> names, uint16_t version) {
  return Record(kOtherKind, "other") + Record(kNameKind, PlainSection(Entry(Names(names))), version) + Trailer();
}

}  // namespace pattern_fixture
