// The service record reader on arbitrary bytes, read from the database folder as /SERVICE reads
// it: a record is either used whole or refused, and what is used writes back as the same text.
#include <cerrno>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/service_manager.h"
#include "platform/service_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FuzzInputFile file("TestSrv.service");
  file.Write({data, size});
  const std::string text(reinterpret_cast<const char*>(data), size);

  platform::ServiceParameters parsed;
  const bool accepted = platform::ParseServiceRecord(text, &parsed);
  if (accepted) FUZZ_CHECK(platform::FormatServiceRecord(parsed) == text);

  const platform::ServiceManager manager(file.folder());
  platform::Error error;
  const auto service = manager.OpenService("TestSrv", &error);
  FUZZ_CHECK((service != nullptr) == (accepted && parsed.name == "TestSrv"));
  if (service == nullptr) FUZZ_CHECK(error.kind == platform::ErrorKind::kDamaged);
  return 0;
}
