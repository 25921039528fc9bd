#include "shared/pe_image.hpp"

#include "injector/memory.hpp"
#include "injector/os.hpp"

namespace hostkit {
namespace {

constexpr std::uint16_t kDosSignature = 0x5A4D;     // "MZ"
constexpr std::uint32_t kNtSignature = 0x00004550;  // "PE\0\0"
constexpr std::uintptr_t kNewHeaderOffset = 0x3C;   // e_lfanew in the DOS header
// Fields of the optional header, counted from the "PE\0\0" signature.
constexpr std::uintptr_t kEntryPointField = 0x28;   // AddressOfEntryPoint
constexpr std::uintptr_t kSizeOfImageField = 0x50;  // SizeOfImage
// Far beyond any real header's place; keeps the sum below from wrapping.
constexpr std::uint32_t kLargestHeaderOffset = 0x10000000;

// A plain read of a header field; false, with nothing read, where the
// memory is not there to read.
template <class T>
bool read_field(std::uintptr_t address, T& value) {
  if (!injector::os::api().accessible(address, sizeof value, injector::os::Access::read)) {
    return false;
  }
  injector::read_raw(&value, sizeof value, address, false);
  return true;
}

// The 32-bit field `field` bytes past the module's "PE\0\0" signature.
std::optional<std::uint32_t> header_field(std::uintptr_t module_base, std::uintptr_t field) {
  std::uint16_t dos_signature = 0;
  std::uint32_t new_header = 0;
  std::uint32_t nt_signature = 0;
  std::uint32_t value = 0;
  if (!read_field(module_base, dos_signature) || dos_signature != kDosSignature) return {};
  if (!read_field(module_base + kNewHeaderOffset, new_header) ||
      new_header > kLargestHeaderOffset) {
    return {};
  }
  const std::uintptr_t nt = module_base + new_header;
  if (!read_field(nt, nt_signature) || nt_signature != kNtSignature) return {};
  if (!read_field(nt + field, value)) return {};
  return value;
}

}  // namespace

std::optional<std::uint32_t> entry_point_offset(std::uintptr_t module_base) {
  return header_field(module_base, kEntryPointField);
}

std::optional<std::uint32_t> mapped_image_size(std::uintptr_t module_base) {
  return header_field(module_base, kSizeOfImageField);
}

}  // namespace hostkit
