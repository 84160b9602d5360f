// The text of a service record: one "key=value" line per parameter in a fixed order, closed by
// a SHA-256 line over everything before it, so a damaged record never passes for a service.
#include "platform/service_record.h"

#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/crypto.h"

namespace platform {
namespace {

constexpr std::string_view kHeader = "TestKVE service record 1";
constexpr std::string_view kDigestKey = "sha256";

// The digest as lower-case hex; empty when the system cannot make one.
std::string Sha256Hex(std::string_view text) {
  std::unique_ptr<Sha256> digest = Sha256::Start();
  Sha256Digest value;
  if (!digest || !digest->Update({reinterpret_cast<const uint8_t*>(text.data()), text.size()}) ||
      !digest->Finish(&value)) {
    return "";
  }
  std::string hex;
  char pair[3];
  for (const uint8_t byte : value) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex;
}

void AddLine(std::string* text, std::string_view key, std::string_view value) {
  text->append(key).append("=").append(value).append("\n");
}

// Walks the lines of a record in order; every read names the key it expects.
class RecordReader {
 public:
  explicit RecordReader(std::string_view text) : rest_(text) {}

  std::optional<std::string_view> Line() {
    size_t end = rest_.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    std::string_view line = rest_.substr(0, end);
    rest_.remove_prefix(end + 1);
    return line;
  }

  // The value of the next line when its key is `key`; the line is consumed only then.
  std::optional<std::string> Text(std::string_view key) {
    size_t end = rest_.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    std::string_view line = rest_.substr(0, end);
    if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != '=') return std::nullopt;
    rest_.remove_prefix(end + 1);
    return std::string(line.substr(key.size() + 1));
  }

  std::optional<uint32_t> Number(std::string_view key) {
    std::optional<std::string> text = Text(key);
    if (!text || text->empty() || (text->size() > 1 && (*text)[0] == '0')) return std::nullopt;
    uint32_t value = 0;
    const char* end = text->data() + text->size();
    auto [last, error] = std::from_chars(text->data(), end, value);
    if (error != std::errc() || last != end) return std::nullopt;
    return value;
  }

  bool AtEnd() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

bool ReadFields(RecordReader& reader, ServiceParameters* out) {
  auto name = reader.Text("name");
  auto display_name = reader.Text("display_name");
  auto desired_access = reader.Number("desired_access");
  auto service_type = reader.Number("service_type");
  auto start_type = reader.Number("start_type");
  auto error_control = reader.Number("error_control");
  auto program_path = reader.Text("program_path");
  auto load_order_group = reader.Text("load_order_group");
  auto tag = reader.Number("tag");
  if (!name || name->empty() || !display_name || !desired_access || !service_type || !start_type || !error_control ||
      !program_path || program_path->empty() || !load_order_group || !tag || *tag > 1) {
    return false;
  }
  std::vector<std::string> dependencies;
  while (auto dependency = reader.Text("dependency")) dependencies.push_back(*dependency);
  auto account = reader.Text("account");
  auto password = reader.Text("password");
  if (!account || !password) return false;
  *out = {*name,         *display_name,     *desired_access, *service_type,           *start_type, *error_control,
          *program_path, *load_order_group, *tag == 1,       std::move(dependencies), *account,    *password};
  return true;
}

}  // namespace

std::string FormatServiceRecord(const ServiceParameters& p) {
  std::string text(kHeader);
  text += '\n';
  AddLine(&text, "name", p.name);
  AddLine(&text, "display_name", p.display_name);
  AddLine(&text, "desired_access", std::to_string(p.desired_access));
  AddLine(&text, "service_type", std::to_string(p.service_type));
  AddLine(&text, "start_type", std::to_string(p.start_type));
  AddLine(&text, "error_control", std::to_string(p.error_control));
  AddLine(&text, "program_path", p.program_path);
  AddLine(&text, "load_order_group", p.load_order_group);
  AddLine(&text, "tag", p.wants_tag ? "1" : "0");
  for (const std::string& dependency : p.dependencies) AddLine(&text, "dependency", dependency);
  AddLine(&text, "account", p.account);
  AddLine(&text, "password", p.password);
  AddLine(&text, kDigestKey, Sha256Hex(text));
  return text;
}

bool ParseServiceRecord(const std::string& text, ServiceParameters* parameters) {
  // The digest line is the last one; everything before it is what it covers.
  std::string_view whole(text);
  if (whole.empty() || whole.back() != '\n') return false;
  size_t last_start = whole.find_last_of('\n', whole.size() - 2);
  if (last_start == std::string_view::npos) return false;
  std::string_view covered = whole.substr(0, last_start + 1);
  RecordReader digest_line(whole.substr(last_start + 1));
  std::optional<std::string> digest = digest_line.Text(kDigestKey);
  std::string expected = Sha256Hex(covered);
  if (!digest || expected.empty() || *digest != expected) return false;

  RecordReader reader(covered);
  ServiceParameters read;
  if (reader.Line() != kHeader || !ReadFields(reader, &read) || !reader.AtEnd()) return false;
  *parameters = std::move(read);
  return true;
}

}  // namespace platform
