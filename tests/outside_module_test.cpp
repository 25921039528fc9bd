// The repair of the outside module, with the stand-in "Kestrelview.sp"
// loaded from beside the test into the stand-in host.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>

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

TEST(ViewfixState, IsZeroAtLoad) {
  EXPECT_EQ(viewfix::outside_module, nullptr);
  EXPECT_EQ(viewfix::saved_guard_bytes, 0u);
  EXPECT_EQ(viewfix::viewfix_resume_address, 0u);
  EXPECT_EQ(viewfix::redirect_cell, 0u);
  EXPECT_FALSE(viewfix::limiter_active);
}

}  // namespace
