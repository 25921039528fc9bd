// The repair of the outside module, with the stand-in "Kestrelview.sp"
// loaded from beside the test into the stand-in host.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "shared/address_table.hpp"
#include "shared/kit_context.hpp"
#include "standins/host/host_standins.hpp"
#include "tests/os_fake.hpp"
#include "tests/module_image.hpp"
#include "tests/plugin_paths.hpp"
#include "viewfix/heading_limiter.hpp"
#include "viewfix/outside_module.hpp"

namespace {

using standin::host;

// The module's linked-value load as the stand-in (like the real module) has
// it at +0x47EC: mov ecx,[edx+0x58C]; movzx ecx,word ptr [ecx+0x22].
constexpr std::array<std::uint8_t, 10> kOriginalLoad = {0x8B, 0x8A, 0x8C, 0x05, 0x00,
                                                       0x00, 0x0F, 0xB7, 0x49, 0x22};
constexpr std::uint32_t kHostGuard = 0x51104E8B;  // the stand-in host's bytes 8B 4E 10 51

std::uint32_t address_of(const void* p) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}

template <std::size_t n>
std::array<std::uint8_t, n> bytes_at(std::uintptr_t address) {
  std::array<std::uint8_t, n> bytes{};
  std::memcpy(bytes.data(), reinterpret_cast<const void*>(address), n);
  return bytes;
}
std::uint32_t dword_at(std::uintptr_t address) {
  std::uint32_t value;
  std::memcpy(&value, reinterpret_cast<const void*>(address), 4);
  return value;
}

using testing_modules::export_of;

class Repair : public testing::Test {
 protected:
  void SetUp() override {
    standin::reset();
    module_ = LoadLibraryA(testing_paths::beside_tests("Kestrelview.sp").c_str());
    ASSERT_NE(module_, nullptr);
    base_ = reinterpret_cast<std::uintptr_t>(module_);
    linked_value_ = export_of<LinkedValueFn>(module_, "kestrelview_linked_value");
    count_ = export_of<VoidFn>(module_, "kestrelview_count");
    own_count_ = export_of<CountFn>(module_, "kestrelview_own_count");
    silence_guard_ = export_of<VoidFn>(module_, "kestrelview_silence_guard");
    ASSERT_TRUE(linked_value_ && count_ && own_count_ && silence_guard_);
  }

  std::uint32_t module_path(std::uint16_t value) {
    standin::LinkedRecords records;
    records.set_value(value);
    return linked_value_(records.record.data());
  }
  std::uintptr_t jump_destination() const {
    return testing_modules::relative_target(base_ + 0x47EC);
  }
  void repair() {
    auto* volatile run = &viewfix::repair_outside_module;
    run();
  }

  using LinkedValueFn = std::uint32_t (*)(const void*);
  using VoidFn = void (*)();
  using CountFn = std::uint32_t (*)();
  HMODULE module_ = nullptr;
  std::uintptr_t base_ = 0;
  LinkedValueFn linked_value_ = nullptr;
  VoidFn count_ = nullptr;
  CountFn own_count_ = nullptr;
  VoidFn silence_guard_ = nullptr;
};

TEST_F(Repair, BeforeTheRepairTheModulesOwnCodeRuns) {
  EXPECT_EQ(bytes_at<10>(base_ + 0x47EC), kOriginalLoad);
  EXPECT_NE(dword_at(base_ + 0x1FFA), address_of(&viewfix::redirect_cell));
  EXPECT_EQ(module_path(1000), 1000u);
  EXPECT_EQ(module_path(65535), 65535u);
  count_();
  EXPECT_EQ(own_count_(), 1u);
}

TEST_F(Repair, RedirectsTheCellPlantsTheJumpAndPinsViewfix) {
  hostkit::resolve_address(0);  // the kit context's own look at the host image
  testing_os::OsFake os;
  repair();
  EXPECT_EQ(viewfix::outside_module, module_);
  EXPECT_THAT(os.module_handle_names, testing::ElementsAre("Kestrelview.sp"));
  EXPECT_EQ(dword_at(base_ + 0x1FFA), address_of(&viewfix::redirect_cell));
  EXPECT_EQ(bytes_at<1>(base_ + 0x47EC)[0], 0xE9);
  EXPECT_EQ(jump_destination(), reinterpret_cast<std::uintptr_t>(&viewfix::viewfix_clamp_thunk));
  const auto tail = bytes_at<5>(base_ + 0x47F1);
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), kOriginalLoad.begin() + 5))
      << "the 5 bytes up to +0x47F6 stay as they were";
  EXPECT_EQ(viewfix::viewfix_resume_address, base_ + 0x47F6);
  EXPECT_EQ(viewfix::saved_guard_bytes, kHostGuard);
  EXPECT_THAT(os.protect_calls, testing::Contains(testing_os::ProtectCall{
                                    game::code::kGuarded, 4, PAGE_EXECUTE_READWRITE}))
      << "the guarded code is read at its absolute address with the protection lifted";
  EXPECT_THAT(os.module_from_address_pins, testing::ElementsAre(true));
}

TEST_F(Repair, AfterTheRepairTheModulesValueIsLimitedAndItCountsInViewfixsCell) {
  repair();
  const std::pair<std::uint16_t, std::uint32_t> cases[] = {
      {0, 0}, {5, 5}, {611, 611}, {612, 611}, {1000, 611}, {65535, 611}};
  for (const auto& [value, arrived] : cases) {
    EXPECT_EQ(module_path(value), arrived) << "value " << value;
  }
  count_();
  count_();
  EXPECT_EQ(viewfix::redirect_cell, 2u);
  EXPECT_EQ(own_count_(), 0u);
}

TEST_F(Repair, ASecondRepairWritesTheSameCodeAndCapturesTheGuardAfresh) {
  repair();
  const auto cell = bytes_at<4>(base_ + 0x1FFA);
  const auto load = bytes_at<10>(base_ + 0x47EC);
  silence_guard_();  // the module switches the host's guarded code off
  ASSERT_EQ(standin::peek<std::uint32_t>(game::code::kGuarded), 0x90909090u);
  testing_os::OsFake os;
  repair();
  EXPECT_EQ(bytes_at<4>(base_ + 0x1FFA), cell);
  EXPECT_EQ(bytes_at<10>(base_ + 0x47EC), load);
  EXPECT_EQ(viewfix::viewfix_resume_address, base_ + 0x47F6);
  EXPECT_EQ(viewfix::saved_guard_bytes, 0x90909090u);
  EXPECT_THAT(os.module_from_address_pins, testing::ElementsAre(true));
  EXPECT_EQ(module_path(900), 611u);
}

TEST_F(Repair, AModuleGoneByTheNextRepairIsForgottenAndNothingIsTouched) {
  repair();
  standin::poke_value<std::uint32_t>(game::code::kGuarded, 0x12345678);
  testing_os::OsFake os;
  os.hide_module_handles = true;
  repair();
  EXPECT_EQ(viewfix::outside_module, nullptr);
  EXPECT_THAT(os.protect_calls, testing::IsEmpty());
  EXPECT_THAT(os.module_from_address_pins, testing::IsEmpty());
  EXPECT_EQ(viewfix::saved_guard_bytes, kHostGuard) << "not recaptured";
}

TEST_F(Repair, TheLimiterRunsOnceTheModuleSwitchesTheGuardOff) {
  hostkit::resolve_host_address_table();
  repair();
  host().player.heading_radians = 2.0f;  // about 115 degrees, the camera at 0
  viewfix::limit_heading();
  EXPECT_FALSE(viewfix::limiter_active) << "the guard as captured leaves the limiter off";
  EXPECT_TRUE(host().set_heading_calls.empty());

  silence_guard_();
  viewfix::limit_heading();
  EXPECT_TRUE(viewfix::limiter_active);
  ASSERT_EQ(host().set_heading_calls.size(), 1u);

  // Anything else written there is undone, and the limiter stops.
  standin::poke_value<std::uint32_t>(game::code::kGuarded, 0x0BADC0DE);
  viewfix::limit_heading();
  EXPECT_FALSE(viewfix::limiter_active);
  EXPECT_EQ(standin::peek<std::uint32_t>(game::code::kGuarded), kHostGuard);
  EXPECT_EQ(host().set_heading_calls.size(), 1u);
}

TEST(RepairWithoutTheModule, LooksItUpOnlyAndTouchesNothing) {
  testing_os::OsFake os;
  viewfix::repair_outside_module();
  EXPECT_EQ(viewfix::outside_module, nullptr);
  EXPECT_THAT(os.module_handle_names, testing::ElementsAre("Kestrelview.sp"));
  EXPECT_THAT(os.protect_calls, testing::IsEmpty());
  EXPECT_THAT(os.module_from_address_pins, testing::IsEmpty());
  EXPECT_EQ(viewfix::saved_guard_bytes, 0u);
  EXPECT_EQ(viewfix::viewfix_resume_address, 0u);
  EXPECT_EQ(GetModuleHandleA("Kestrelview.sp"), nullptr) << "looked up, never loaded";
}

// A module image made by hand: its PE header says how large it is, and it is
// mapped read-write-execute far enough to hold every place the repair touches.
class HandMadeModule {
 public:
  static constexpr std::size_t kMapped = 0x5000;
  static constexpr std::uintptr_t kNtHeaders = 0x80;

  explicit HandMadeModule(std::uint32_t size_of_image) {
    base_ = static_cast<std::uint8_t*>(
        VirtualAlloc(nullptr, kMapped, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    std::memset(base_, 0xCC, kMapped);
    put<std::uint16_t>(0, 0x5A4D);                  // "MZ"
    put<std::uint32_t>(0x3C, kNtHeaders);           // e_lfanew
    put<std::uint32_t>(kNtHeaders, 0x00004550);     // "PE\0\0"
    put<std::uint32_t>(kNtHeaders + 0x50, size_of_image);
  }
  ~HandMadeModule() { VirtualFree(base_, 0, MEM_RELEASE); }
  HandMadeModule(const HandMadeModule&) = delete;
  HandMadeModule& operator=(const HandMadeModule&) = delete;

  template <class T>
  void put(std::size_t offset, T value) {
    std::memcpy(base_ + offset, &value, sizeof value);
  }
  void* handle() const { return base_; }
  std::vector<std::uint8_t> bytes() const { return {base_, base_ + kMapped}; }

 private:
  std::uint8_t* base_;
};

struct SizeCase {
  const char* name;
  std::uint32_t size_of_image;
  bool repaired;
};
void PrintTo(const SizeCase& c, std::ostream* out) { *out << c.name; }

class RepairBySize : public testing::TestWithParam<SizeCase> {};

TEST_P(RepairBySize, OnlyAModuleReachingPastItsResumePlaceIsRepaired) {
  standin::reset();
  HandMadeModule module(GetParam().size_of_image);
  const auto before = module.bytes();
  const auto guard = standin::peek<std::uint32_t>(game::code::kGuarded);
  viewfix::saved_guard_bytes = 0x5EED;
  testing_os::OsFake os;
  os.named_module = module.handle();
  viewfix::repair_outside_module();
  const auto base = reinterpret_cast<std::uintptr_t>(module.handle());
  if (GetParam().repaired) {
    EXPECT_EQ(viewfix::outside_module, module.handle());
    EXPECT_EQ(dword_at(base + 0x1FFA), address_of(&viewfix::redirect_cell));
    EXPECT_EQ(bytes_at<1>(base + 0x47EC)[0], 0xE9);
    EXPECT_EQ(viewfix::saved_guard_bytes, guard);
  } else {
    EXPECT_EQ(viewfix::outside_module, nullptr);
    EXPECT_TRUE(module.bytes() == before) << "the module's bytes are untouched";
    EXPECT_THAT(os.protect_calls, testing::IsEmpty()) << "nothing read or written with a lift";
    EXPECT_EQ(viewfix::saved_guard_bytes, 0x5EEDu) << "the guarded code is not captured";
    EXPECT_THAT(os.module_from_address_pins, testing::IsEmpty());
  }
  EXPECT_EQ(standin::peek<std::uint32_t>(game::code::kGuarded), guard);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, RepairBySize,
    testing::Values(SizeCase{"ending_before_the_jump", 0x47EC, false},
                    SizeCase{"ending_at_its_resume_place", 0x47F6, false},
                    SizeCase{"holding_its_resume_place", 0x47F7, true},
                    SizeCase{"of_a_whole_page_more", 0x5000, true}),
    [](const testing::TestParamInfo<SizeCase>& i) { return std::string(i.param.name); });

// Headers that say nothing of a size, or are not there to read: the module
// counts as absent and nothing faults.
TEST(RepairOfAModuleWithoutAHeader, CountsItAsAbsent) {
  const auto repaired_none = [](void* handle) {
    testing_os::OsFake os;
    os.named_module = handle;
    viewfix::repair_outside_module();
    return viewfix::outside_module == nullptr && os.protect_calls.empty();
  };
  {
    HandMadeModule no_mz(0x6000);
    no_mz.put<std::uint16_t>(0, 0x0000);
    EXPECT_TRUE(repaired_none(no_mz.handle())) << "no MZ";
  }
  {
    HandMadeModule no_pe(0x6000);
    no_pe.put<std::uint32_t>(HandMadeModule::kNtHeaders, 0x00004551);
    EXPECT_TRUE(repaired_none(no_pe.handle())) << "no PE signature";
  }
  {
    HandMadeModule far_header(0x6000);
    far_header.put<std::uint32_t>(0x3C, 0x7FFFFF00);
    EXPECT_TRUE(repaired_none(far_header.handle())) << "a header offset far outside";
  }
  {
    void* reserved = VirtualAlloc(nullptr, 0x10000, MEM_RESERVE, PAGE_NOACCESS);
    EXPECT_TRUE(repaired_none(reserved)) << "nothing mapped";
    VirtualFree(reserved, 0, MEM_RELEASE);
  }
}

TEST(ViewfixState, IsZeroAtLoad) {
  EXPECT_EQ(viewfix::outside_module, nullptr);
  EXPECT_EQ(viewfix::saved_guard_bytes, 0u);
  EXPECT_EQ(viewfix::viewfix_resume_address, 0u);
  EXPECT_EQ(viewfix::redirect_cell, 0u);
  EXPECT_FALSE(viewfix::limiter_active);
}

}  // namespace
