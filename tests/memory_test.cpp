// The memory primitives against real pages of this process, with the
// operating-system calls recorded (and failed where a case asks for it).
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "injector/memory.hpp"
#include "tests/os_fake.hpp"

namespace {

using injector::branch_destination;
using injector::plant_call;
using injector::plant_jump;
using injector::read_raw;
using injector::write_raw;
using testing_os::OsFake;
using testing_os::ProtectCall;
using testing_os::ProtectFailure;

constexpr std::uint32_t kRwx = PAGE_EXECUTE_READWRITE;

// Two pages of code, read-execute like a game's code section, so that only a
// lifted protection lets a write through.
class CodePage {
 public:
  explicit CodePage(DWORD protection = PAGE_EXECUTE_READ) {
    base_ = static_cast<std::uint8_t*>(
        VirtualAlloc(nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    std::memset(base_, 0xCC, kSize);
    DWORD old = 0;
    VirtualProtect(base_, kSize, protection, &old);
  }
  ~CodePage() { VirtualFree(base_, 0, MEM_RELEASE); }

  std::uintptr_t address(std::size_t offset = 0) const {
    return reinterpret_cast<std::uintptr_t>(base_) + offset;
  }
  std::uint8_t* bytes(std::size_t offset = 0) const { return base_ + offset; }
  void set(std::size_t offset, std::initializer_list<std::uint8_t> values) {
    DWORD old = 0;
    VirtualProtect(base_, kSize, PAGE_EXECUTE_READWRITE, &old);
    std::copy(values.begin(), values.end(), base_ + offset);
    VirtualProtect(base_, kSize, old, &old);
  }
  void set_dword(std::size_t offset, std::uint32_t value) {
    set(offset, {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                 static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
  }
  DWORD protection(std::size_t offset = 0) const {
    MEMORY_BASIC_INFORMATION info{};
    VirtualQuery(base_ + offset, &info, sizeof info);
    return info.Protect;
  }

  static constexpr std::size_t kSize = 0x2000;

 private:
  std::uint8_t* base_;
};

// An address range that is reserved but not committed: any access faults.
class Unmapped {
 public:
  Unmapped() { base_ = VirtualAlloc(nullptr, 0x10000, MEM_RESERVE, PAGE_NOACCESS); }
  ~Unmapped() { VirtualFree(base_, 0, MEM_RELEASE); }
  std::uintptr_t address(std::size_t offset = 0) const {
    return reinterpret_cast<std::uintptr_t>(base_) + offset;
  }

 private:
  void* base_;
};

std::uint32_t dword_at(const std::uint8_t* p) {
  std::uint32_t value;
  std::memcpy(&value, p, 4);
  return value;
}

TEST(UnprotectScope, LiftsTheProtectionAndPutsThePreviousOneBack) {
  CodePage page;
  OsFake os;
  {
    injector::unprotect_scope window(page.address(0x10), 4, true);
    EXPECT_EQ(page.protection(), static_cast<DWORD>(PAGE_EXECUTE_READWRITE));
  }
  EXPECT_EQ(page.protection(), static_cast<DWORD>(PAGE_EXECUTE_READ));
  EXPECT_THAT(os.protect_calls,
              testing::ElementsAre(ProtectCall{page.address(0x10), 4, kRwx},
                                   ProtectCall{page.address(0x10), 4, PAGE_EXECUTE_READ}));
}

TEST(UnprotectScope, CallsNothingWithoutUnprotectOrForAnEmptyRange) {
  CodePage page(PAGE_EXECUTE_READWRITE);
  OsFake os;
  std::uint8_t buffer[4] = {};
  read_raw(buffer, 4, page.address(), false);
  write_raw(page.address(), buffer, 4, false);
  read_raw(buffer, 0, page.address(), true);
  write_raw(page.address(), buffer, 0, true);
  { injector::unprotect_scope window(page.address(), 0, true); }
  EXPECT_EQ(os.protect_count(), 0);
}

TEST(UnprotectScope, MakesNoRestoringCallWhenTheOpeningFails) {
  CodePage page;
  OsFake os;
  os.protect_failure = ProtectFailure::all;
  { injector::unprotect_scope window(page.address(), 4, true); }
  EXPECT_THAT(os.protect_calls, testing::ElementsAre(ProtectCall{page.address(), 4, kRwx}));
}

TEST(RawAccess, WritesThroughReadOnlyCodeAndRestoresItsProtection) {
  CodePage page;
  const std::array<std::uint8_t, 3> data{1, 2, 3};
  write_raw(page.address(0x20), data.data(), data.size(), true);
  EXPECT_EQ(std::memcmp(page.bytes(0x20), data.data(), 3), 0);
  EXPECT_EQ(page.bytes(0x23)[0], 0xCC) << "nothing past the range is written";
  EXPECT_EQ(page.protection(), static_cast<DWORD>(PAGE_EXECUTE_READ));

  std::array<std::uint8_t, 4> back{};
  read_raw(back.data(), 4, page.address(0x20), true);
  EXPECT_EQ(back, (std::array<std::uint8_t, 4>{1, 2, 3, 0xCC}));
}

TEST(RawAccess, AWriteThatCannotLiftTheProtectionIsSkippedWithoutAFault) {
  CodePage page;
  OsFake os;
  os.protect_failure = ProtectFailure::opening;
  const std::uint32_t value = 0x11223344;
  write_raw(page.address(0x40), &value, 4, true);
  EXPECT_EQ(dword_at(page.bytes(0x40)), 0xCCCCCCCCu);
  EXPECT_EQ(os.protect_count(), 1);

  // Reading needs no lifted protection: the copy is attempted and succeeds.
  std::uint32_t read = 0;
  read_raw(&read, 4, page.address(0x40), true);
  EXPECT_EQ(read, 0xCCCCCCCCu);
}

TEST(RawAccess, UnmappedMemoryNeverFaults) {
  Unmapped nowhere;
  std::uint32_t buffer = 0xDEADBEEF;
  read_raw(&buffer, 4, nowhere.address(0x100), true);
  EXPECT_EQ(buffer, 0xDEADBEEFu) << "the destination keeps its contents";
  write_raw(nowhere.address(0x100), &buffer, 4, true);
  EXPECT_EQ(branch_destination(nowhere.address(0x100)), 0u);
  EXPECT_EQ(plant_call(nowhere.address(0x100), 0x401000), 0u);
  EXPECT_EQ(plant_jump(0, 0x401000), 0u);
}

TEST(RawAccess, ARangeRunningOffTheEndOfAMappingIsNotTouched) {
  CodePage page(PAGE_EXECUTE_READWRITE);
  // The last 2 bytes of the allocation plus 2 beyond it.
  std::uint32_t buffer = 0x55555555;
  read_raw(&buffer, 4, page.address(CodePage::kSize - 2), true);
  EXPECT_EQ(buffer, 0x55555555u);
}

struct BranchCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  // Expected destination as a function of the instruction's address and of
  // the address of a pointer cell holding 0x00C0FFEE.
  std::uintptr_t (*expected)(std::uintptr_t at, std::uintptr_t cell);
};
void PrintTo(const BranchCase& c, std::ostream* os) { *os << c.name; }


class BranchDestination : public testing::TestWithParam<BranchCase> {};

TEST_P(BranchDestination, DecodesTheInstructionAtTheAddress) {
  CodePage page;
  const std::size_t site = 0x100;
  const std::size_t cell = 0x800;
  page.set_dword(cell, 0x00C0FFEE);
  std::vector<std::uint8_t> bytes = GetParam().bytes;
  if (bytes.size() >= 6 && bytes[0] == 0xFF) {  // point the indirect form at the cell
    const auto address = static_cast<std::uint32_t>(page.address(cell));
    std::memcpy(bytes.data() + 2, &address, 4);
  }
  DWORD old = 0;
  VirtualProtect(page.bytes(), CodePage::kSize, PAGE_EXECUTE_READWRITE, &old);
  std::copy(bytes.begin(), bytes.end(), page.bytes(site));
  VirtualProtect(page.bytes(), CodePage::kSize, old, &old);

  EXPECT_EQ(branch_destination(page.address(site)),
            GetParam().expected(page.address(site), page.address(cell)));
  EXPECT_EQ(dword_at(page.bytes(cell)), 0x00C0FFEEu) << "the pointer cell is left alone";
  EXPECT_EQ(std::memcmp(page.bytes(site), bytes.data(), bytes.size()), 0) << "memory unchanged";
}

INSTANTIATE_TEST_SUITE_P(
    Forms, BranchDestination,
    testing::Values(
        BranchCase{"call_rel", {0xE8, 0x10, 0x00, 0x00, 0x00},
                   [](std::uintptr_t at, std::uintptr_t) { return at + 0x15; }},
        BranchCase{"jump_rel", {0xE9, 0x00, 0x01, 0x00, 0x00},
                   [](std::uintptr_t at, std::uintptr_t) { return at + 5 + 0x100; }},
        BranchCase{"call_backwards", {0xE8, 0xF0, 0xFF, 0xFF, 0xFF},
                   [](std::uintptr_t at, std::uintptr_t) { return at + 5 - 0x10; }},
        BranchCase{"wraps_past_4g", {0xE8, 0x00, 0x00, 0x00, 0xFF},
                   [](std::uintptr_t at, std::uintptr_t) -> std::uintptr_t {
                     return static_cast<std::uint32_t>(at + 5 + 0xFF000000u);
                   }},
        BranchCase{"call_through_pointer", {0xFF, 0x15, 0, 0, 0, 0},
                   [](std::uintptr_t, std::uintptr_t) -> std::uintptr_t { return 0x00C0FFEE; }},
        BranchCase{"jump_through_pointer", {0xFF, 0x25, 0, 0, 0, 0},
                   [](std::uintptr_t, std::uintptr_t) -> std::uintptr_t { return 0x00C0FFEE; }},
        BranchCase{"other_ff_form", {0xFF, 0x10, 0, 0, 0, 0},
                   [](std::uintptr_t, std::uintptr_t) -> std::uintptr_t { return 0; }},
        BranchCase{"nop", {0x90, 0xE8, 0, 0, 0},
                   [](std::uintptr_t, std::uintptr_t) -> std::uintptr_t { return 0; }},
        BranchCase{"short_jump", {0xEB, 0x10},
                   [](std::uintptr_t, std::uintptr_t) -> std::uintptr_t { return 0; }}),
    [](const testing::TestParamInfo<BranchCase>& info) { return info.param.name; });

class BranchThroughPointer : public testing::TestWithParam<std::uint8_t> {};

TEST_P(BranchThroughPointer, ReadsThePointerCellAsItStandsWithoutAProtectionChange) {
  CodePage code;
  CodePage cells(PAGE_READONLY);
  cells.set_dword(0x10, 0x00C0FFEE);
  code.set(0x40, {0xFF, GetParam()});
  code.set_dword(0x42, static_cast<std::uint32_t>(cells.address(0x10)));
  const std::uintptr_t a = code.address(0x40);
  OsFake os;
  EXPECT_EQ(branch_destination(a), 0x00C0FFEEu);
  // The instruction's three reads each lift the protection; the cell's does not.
  EXPECT_THAT(os.protect_calls,
              testing::ElementsAre(ProtectCall{a, 1, kRwx}, ProtectCall{a, 1, PAGE_EXECUTE_READ},
                                   ProtectCall{a + 1, 1, kRwx},
                                   ProtectCall{a + 1, 1, PAGE_EXECUTE_READ},
                                   ProtectCall{a + 2, 4, kRwx},
                                   ProtectCall{a + 2, 4, PAGE_EXECUTE_READ}));
  EXPECT_EQ(cells.protection(), static_cast<DWORD>(PAGE_READONLY));
}

INSTANTIATE_TEST_SUITE_P(CallAndJump, BranchThroughPointer, testing::Values(0x15, 0x25));

TEST(BranchDestinationPointer, AnUnreadablePointerCellGivesZero) {
  CodePage page;
  Unmapped nowhere;
  const auto cell = static_cast<std::uint32_t>(nowhere.address(0x40));
  page.set(0, {0xFF, 0x15});
  page.set_dword(2, cell);
  EXPECT_EQ(branch_destination(page.address()), 0u);
}

TEST(PlantCall, ReturnsThePreviousDestinationAndLeadsToTheNewTarget) {
  CodePage page;
  page.set(0x10, {0xE8, 0x10, 0x00, 0x00, 0x00});
  const std::uintptr_t target = page.address(0x1000);
  EXPECT_EQ(plant_call(page.address(0x10), target), page.address(0x10) + 0x15);
  EXPECT_EQ(page.bytes(0x10)[0], 0xE8);
  EXPECT_EQ(branch_destination(page.address(0x10)), target);
  EXPECT_EQ(page.protection(), static_cast<DWORD>(PAGE_EXECUTE_READ));
}

TEST(PlantCall, ATargetBelowTheSiteGetsANegativeDisplacement) {
  CodePage page;
  plant_call(page.address(0x400), page.address(0x100));
  EXPECT_EQ(static_cast<std::int32_t>(dword_at(page.bytes(0x401))), 0x100 - 0x405);
}

TEST(PlantCall, OverACallThroughAPointerWritesFiveBytesAndKeepsTheSixth) {
  CodePage page;
  page.set_dword(0x800, 0x00C0FFEE);
  page.set(0x20, {0xFF, 0x15});
  page.set_dword(0x22, static_cast<std::uint32_t>(page.address(0x800)));
  const std::uint8_t sixth = page.bytes(0x25)[0];
  EXPECT_EQ(plant_call(page.address(0x20), page.address(0x30)), 0x00C0FFEEu);
  EXPECT_EQ(page.bytes(0x25)[0], sixth);
  EXPECT_EQ(page.bytes(0x26)[0], 0xCC);
  EXPECT_EQ(branch_destination(page.address(0x20)), page.address(0x30));
}

TEST(PlantJump, WritesAJumpOverAnUnknownInstructionAndReturnsZero) {
  CodePage page;
  EXPECT_EQ(plant_jump(page.address(0x50), page.address(0x60)), 0u);
  EXPECT_EQ(page.bytes(0x50)[0], 0xE9);
  EXPECT_EQ(branch_destination(page.address(0x50)), page.address(0x60));
}

TEST(PlantCall, WritesOpcodeAndDisplacementInWindowsOfTheirOwn) {
  CodePage page;
  page.set(0x10, {0x90});
  OsFake os;
  plant_call(page.address(0x10), page.address(0x100));
  const std::uintptr_t a = page.address(0x10);
  // Reading the old opcode (not a branch: nothing more is read), then the
  // two writes.
  EXPECT_THAT(os.protect_calls,
              testing::ElementsAre(ProtectCall{a, 1, kRwx}, ProtectCall{a, 1, PAGE_EXECUTE_READ},
                                   ProtectCall{a, 1, kRwx}, ProtectCall{a, 1, PAGE_EXECUTE_READ},
                                   ProtectCall{a + 1, 4, kRwx},
                                   ProtectCall{a + 1, 4, PAGE_EXECUTE_READ}));
}

}  // namespace
