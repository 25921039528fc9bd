// clamp_thunk run by an assembly probe: every register is set beforehand and
// saved where the thunk goes on, so the test sees exactly what arrives there.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "standins/host/game_layout.hpp"
#include "viewfix/outside_module.hpp"

extern "C" {
struct ProbeRegisters {
  std::uint32_t eax, ebx, ecx, edx, esi, edi, ebp, esp;
  bool operator==(const ProbeRegisters&) const = default;
};
void clamp_probe_run(const ProbeRegisters* in);
void clamp_probe_landing_a();
void clamp_probe_landing_b();
extern ProbeRegisters clamp_probe_landed;
extern std::uint32_t clamp_probe_which;
}

namespace {

std::uint32_t address_of(const void* p) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}

struct ProbeRun {
  ProbeRegisters in;
  ProbeRegisters out;
  std::uint32_t which;
};

// The record in EDX links (at +0x58C) to a second record holding the value
// at +0x22; both are filled with a pattern around their fields so that a
// wider load, a wrong offset or a write would show.
class ClampThunk : public testing::Test {
 protected:
  void SetUp() override {
    record_.fill(0x11);
    linked_.fill(0xEE);
    game::put<std::uint32_t>(record_.data(), game::character::kLinkedRecord,
                             address_of(linked_.data()));
    stack_.fill(0x5A5A5A5A);
  }

  ProbeRun run_probe(std::uint16_t value, void (*landing)()) {
    game::put<std::uint16_t>(linked_.data(), game::character::kLinkedValue, value);
    const auto record_before = record_;
    const auto linked_before = linked_;
    const auto stack_before = stack_;
    viewfix::viewfix_resume_address = reinterpret_cast<std::uintptr_t>(landing);
    clamp_probe_landed = {};
    clamp_probe_which = 0;

    ProbeRun r{};
    r.in = {0xA1A1A1A1, 0xB2B2B2B2, 0xC3C3C3C3, address_of(record_.data()),
            0xE5E5E5E5, 0xD6D6D6D6, 0xB7B7B7B7, address_of(&stack_[48])};
    auto* volatile probe = &clamp_probe_run;
    probe(&r.in);
    r.out = clamp_probe_landed;
    r.which = clamp_probe_which;

    EXPECT_EQ(record_, record_before);
    EXPECT_EQ(linked_, linked_before);
    EXPECT_EQ(stack_, stack_before) << "the thunk must not use the stack";
    return r;
  }

  alignas(4) std::array<std::uint8_t, 0x600> record_{};
  alignas(4) std::array<std::uint8_t, 0x40> linked_{};
  std::array<std::uint32_t, 64> stack_{};
};

struct ValueCase {
  std::uint16_t value;
  std::uint32_t ecx;
};

void PrintTo(const ValueCase& c, std::ostream* out) { *out << "value " << c.value; }

class ClampThunkValues : public ClampThunk, public testing::WithParamInterface<ValueCase> {};

TEST_P(ClampThunkValues, LoadsTheLinkedValueLimitedTo611AndChangesNoOtherRegister) {
  const ProbeRun r = run_probe(GetParam().value, &clamp_probe_landing_a);
  ASSERT_EQ(r.which, 1u) << "the thunk did not go on at the resume address";
  ProbeRegisters expected = r.in;
  expected.ecx = GetParam().ecx;
  expected.edi = address_of(reinterpret_cast<const void*>(&clamp_probe_landing_a));
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(r.out.ecx, GetParam().ecx);
  EXPECT_EQ(r.out.esp, r.in.esp);
}

INSTANTIATE_TEST_SUITE_P(Values, ClampThunkValues,
                         testing::Values(ValueCase{0, 0}, ValueCase{1, 1}, ValueCase{610, 610},
                                         ValueCase{611, 611}, ValueCase{612, 611},
                                         ValueCase{1000, 611}, ValueCase{0x7FFF, 611},
                                         ValueCase{0x8000, 611}, ValueCase{65535, 611}));

TEST_F(ClampThunk, ReadsTheResumeAddressOnEveryPass) {
  const ProbeRun first = run_probe(5, &clamp_probe_landing_a);
  const ProbeRun second = run_probe(700, &clamp_probe_landing_b);
  EXPECT_EQ(first.which, 1u);
  EXPECT_EQ(second.which, 2u);
  EXPECT_EQ(second.out.edi, address_of(reinterpret_cast<const void*>(&clamp_probe_landing_b)));
  EXPECT_EQ(first.out.ecx, 5u);
  EXPECT_EQ(second.out.ecx, 611u);
}

}  // namespace
