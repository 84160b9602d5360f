// Where a Windows executable keeps its Authenticode signatures: the certificate table that the
// security entry of its data directory names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::win32 {

struct CertificateTable {
  size_t entry_at = 0;  ///< where the data directory's security entry lies in the image
  uint32_t offset = 0;  ///< the table's file offset
  uint32_t size = 0;    ///< its size; 0 when the image is not signed
};

/// The certificate table entry of the PE image `image`; nullopt when `image` is no PE image.
std::optional<CertificateTable> FindCertificateTable(std::string_view image);

/// Takes the certificate table out of the PE image `image` (its entry cleared, the table cut
/// off when it ends the file, as signing tools put it); false when there was none.
bool RemoveCertificateTable(std::string* image);

}  // namespace platform::win32
