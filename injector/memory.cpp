#include "injector/memory.hpp"

#include <cstring>

#include "injector/os.hpp"

namespace injector {

unprotect_scope::unprotect_scope(std::uintptr_t address, std::size_t size, bool unprotect)
    : address_(address), size_(size) {
  if (unprotect && size != 0) {
    changed_ = os::api().protect(address, size, os::kExecuteReadWrite, &previous_);
  }
}

unprotect_scope::~unprotect_scope() {
  if (changed_) {
    std::uint32_t discarded = 0;
    os::api().protect(address_, size_, previous_, &discarded);
  }
}

void read_raw(void* buffer, std::size_t size, std::uintptr_t address, bool unprotect) {
  unprotect_scope window(address, size, unprotect);
  if (size != 0 && os::api().accessible(address, size, os::Access::read)) {
    std::memcpy(buffer, reinterpret_cast<const void*>(address), size);
  }
}

void write_raw(std::uintptr_t address, const void* source, std::size_t size, bool unprotect) {
  unprotect_scope window(address, size, unprotect);
  if (size != 0 && os::api().accessible(address, size, os::Access::write)) {
    std::memcpy(reinterpret_cast<void*>(address), source, size);
  }
}

namespace {

constexpr std::uint8_t kCallRel = 0xE8;
constexpr std::uint8_t kJumpRel = 0xE9;
constexpr std::uint8_t kIndirect = 0xFF;
constexpr std::uint8_t kCallIndirect = 0x15;  // FF 15: CALL [abs32]
constexpr std::uint8_t kJumpIndirect = 0x25;  // FF 25: JMP [abs32]

std::uintptr_t plant_branch(std::uint8_t opcode, std::uintptr_t address, std::uintptr_t target) {
  const std::uintptr_t previous = branch_destination(address);
  write_value<std::uint8_t>(address, opcode);
  write_value<std::uint32_t>(address + 1, static_cast<std::uint32_t>(target - (address + 5)));
  return previous;
}

}  // namespace

std::uintptr_t branch_destination(std::uintptr_t address) {
  // An unreadable address reads as an opcode that is no branch.
  const auto opcode = read_value<std::uint8_t>(address, 0x00);
  if (opcode == kCallRel || opcode == kJumpRel) {
    const auto displacement = read_value<std::uint32_t>(address + 1);
    return static_cast<std::uint32_t>(address + 5 + displacement);
  }
  if (opcode == kIndirect) {
    const auto form = read_value<std::uint8_t>(address + 1, 0x00);
    if (form != kCallIndirect && form != kJumpIndirect) return 0;
    const auto pointer = read_value<std::uint32_t>(address + 2);
    // The pointer cell is read as it stands, without a protection change.
    std::uint32_t destination = 0;
    read_raw(&destination, sizeof destination, pointer, false);
    return destination;
  }
  return 0;
}

std::uintptr_t plant_call(std::uintptr_t address, std::uintptr_t target) {
  return plant_branch(kCallRel, address, target);
}

std::uintptr_t plant_jump(std::uintptr_t address, std::uintptr_t target) {
  return plant_branch(kJumpRel, address, target);
}

}  // namespace injector
