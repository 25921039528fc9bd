// The heading limiter and its code guard in the stand-in host: the host's
// heading routines, the player's record and the camera object are the
// stand-in's, the guarded code is the stand-in host's code at 0x52C977.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "shared/address_table.hpp"
#include "shared/kit_context.hpp"
#include "standins/host/host_standins.hpp"
#include "tests/os_fake.hpp"
#include "viewfix/heading_limiter.hpp"
#include "viewfix/outside_module.hpp"

namespace {

using standin::host;

// The conversions as the host and the outside module define them, by their
// bit patterns.
const float kHostHeadingFactor = std::bit_cast<float>(0x42652EE0u);
const float kHostCameraFactor = std::bit_cast<float>(0xC2652EE1u);
const float kHostRadiansFactor = std::bit_cast<float>(0x3C8EFA35u);

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr std::uint32_t kHostGuard = 0x51104E8B;  // the stand-in host's bytes 8B 4E 10 51
constexpr std::uint32_t kSilenced = 0x90909090;

// A radian value that the factor turns into exactly `degrees`, so that every
// step after it works on whole degrees and is exact.
float radians_giving(float degrees, float factor) {
  float candidate = static_cast<float>(static_cast<double>(degrees) / factor);
  float below = candidate;
  float above = candidate;
  for (int i = 0; i < 256; ++i) {
    if (below * factor == degrees) return below;
    if (above * factor == degrees) return above;
    below = std::nextafter(below, -kInfinity);
    above = std::nextafter(above, kInfinity);
  }
  ADD_FAILURE() << "no radian value gives exactly " << degrees << " degrees";
  return kNaN;
}

// The radians the host is given for a heading of `degrees`.
float host_radians(float degrees) { return degrees * kHostRadiansFactor; }

void set_camera_radians(float radians) { standin::set_camera_heading(radians); }
void set_camera_degrees(float degrees) {
  set_camera_radians(radians_giving(degrees, kHostCameraFactor));
}
void set_character_degrees(float degrees) {
  host().player.heading_radians = radians_giving(degrees, kHostHeadingFactor);
}

// The player's record as the plug-in's own functions take it.
host::Character* player_record() { return static_cast<host::Character*>(host().player.character()); }

void frame() {
  auto* volatile run = &viewfix::limit_heading;
  run();
}

// The outside module counts as loaded (any non-null handle: the limiter only
// asks whether it is there), the guarded code is as captured and the
// limiter is on, so a frame limits the heading.
class Limiter : public testing::Test {
 protected:
  void SetUp() override {
    standin::reset();
    hostkit::resolve_host_address_table();
    viewfix::outside_module = reinterpret_cast<void*>(standin::image_base());
    standin::poke_value<std::uint32_t>(game::code::kGuarded, kHostGuard);
    viewfix::saved_guard_bytes = kHostGuard;
    viewfix::limiter_active = true;
    set_camera_degrees(0);
  }

  void expect_turned_to(float degrees) {
    const float radians = host_radians(degrees);
    ASSERT_EQ(host().set_heading_calls.size(), 1u);
    const auto& call = host().set_heading_calls[0];
    EXPECT_EQ(call.character, host().player.character());
    EXPECT_EQ(call.radians, radians) << "expected " << degrees << " degrees";
    EXPECT_EQ(call.fields_at_call, (std::array<float, 2>{radians, radians}))
        << "both heading fields are written before the host is told";
    EXPECT_THAT(host().refresh_calls, testing::ElementsAre(host().player.character()));
    const auto& calls = host().routine_calls;
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "set_heading");
    EXPECT_EQ(calls.back(), "refresh") << "the host takes the heading, then refreshes";
  }
  void expect_not_turned() {
    EXPECT_TRUE(host().set_heading_calls.empty());
    EXPECT_TRUE(host().refresh_calls.empty());
    EXPECT_EQ(host().player.heading_fields(), (std::array<float, 2>{0, 0}));
  }
};

// ---- the turn --------------------------------------------------------------

struct TurnCase {
  const char* name;
  float character;  // degrees, or a non-finite host heading
  float camera;     // degrees
  std::optional<float> turned_to;
};

void PrintTo(const TurnCase& c, std::ostream* out) { *out << c.name; }

const TurnCase kTurns[] = {
    {"within_the_limit", 10, 0, std::nullopt},
    {"past_the_left_limit", 100, 0, 60},
    {"exactly_at_the_left_limit", 60, 0, std::nullopt},
    {"just_past_the_left_limit", 61, 0, 60},
    {"wrapped_within_the_limit", 350, 0, std::nullopt},
    {"exactly_at_the_right_limit", 300, 0, std::nullopt},
    {"just_past_the_right_limit", 299, 0, 300},
    {"wrapped_past_the_right_limit", 200, 0, 300},
    {"the_nearer_limit_across_zero", 10, 300, 0},
    {"the_camera_ahead", 100, 250, 190},
    {"the_camera_behind", 10, 180, 120},
    {"exactly_opposite_turns_the_positive_way", 0, 180, 240},
    {"a_full_turn", 360, 0, std::nullopt},
    {"the_camera_a_few_turns_round", 10, 1000, 340},
    {"the_camera_a_thousand_turns_round", 10, 360100, 40},
    {"the_camera_turned_back", 0, -100, 320},
    {"an_infinite_heading_counts_as_zero", kInfinity, -100, 320},
    {"a_negative_infinite_heading_counts_as_zero", -kInfinity, -100, 320},
    {"a_nan_heading_counts_as_zero", kNaN, -100, 320},
    // Angles that are not whole degrees: the new heading is H - (D - 60) or
    // H - (D + 60) in 32-bit floats, which differs in its last bits from the
    // camera's heading plus or minus 60 (shown after each case).
    {"fractions_past_the_left_limit", 100.3f, -33.3f, 0x1.ab333p+4f},        // C + 60: 0x1.ab3334p+4
    {"fractions_past_the_right_limit", 123.456f, -170.2f, 0x1.039998p+7f},   // C - 60: 0x1.03999ap+7
    {"fractions_turned_past_a_full_turn", 359.9f, 123.4f, 0x1.fb3330p+5f},   // C - 60: 0x1.fb3334p+5
    {"fractions_turned_below_zero", 0.1f, -170.2f, 0x1.f39998p+7f},          // C - 60: 0x1.f3999ap+7
    {"fractions_across_zero", 77.77f, 300.7f, 0x1.6669p-1f},                 // C + 60: 0x1.6668p-1
    {"fractions_the_camera_ahead", 181.3f, 10.1f, 0x1.186668p+6f},           // C + 60: 0x1.186666p+6
};

class LimiterTurns : public Limiter, public testing::WithParamInterface<TurnCase> {};

TEST_P(LimiterTurns, TurnsTheCharacterToTheNearerLimitOrLeavesIt) {
  const TurnCase& c = GetParam();
  if (std::isfinite(c.character)) {
    set_character_degrees(c.character);
  } else {
    host().player.heading_radians = c.character;
  }
  set_camera_degrees(c.camera);
  frame();
  EXPECT_EQ(host().heading_calls, 1);
  if (c.turned_to) {
    expect_turned_to(*c.turned_to);
  } else {
    expect_not_turned();
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, LimiterTurns, testing::ValuesIn(kTurns),
                         [](const testing::TestParamInfo<TurnCase>& i) {
                           return std::string(i.param.name);
                         });

// ---- when the limiter leaves the character alone ---------------------------

class LimiterStateCodes : public Limiter, public testing::WithParamInterface<std::int32_t> {};

TEST_P(LimiterStateCodes, OnlyTheFiveTurningStatesTurn) {
  const std::int32_t code = GetParam();
  host().player.set_state_code(code);
  set_character_degrees(100);
  frame();
  const bool turns = code == 0 || code == 1 || code == 17 || code == 22 || code == 32;
  if (turns) {
    expect_turned_to(60);
  } else {
    expect_not_turned();
  }
}

INSTANTIATE_TEST_SUITE_P(Codes, LimiterStateCodes,
                         testing::Values(0, 1, 17, 22, 32, -1, 2, 16, 18, 21, 23, 31, 33,
                                         0x100 + 17, std::numeric_limits<std::int32_t>::min()));

TEST_F(Limiter, TheLeftAloneFlagStopsIt) {
  host().player.set_status_flags(0x100);
  set_character_degrees(100);
  frame();
  expect_not_turned();
  EXPECT_EQ(host().condition_calls, 0);
}

TEST_F(Limiter, OtherStatusFlagsDoNot) {
  host().player.set_status_flags(~0x100u);
  set_character_degrees(100);
  frame();
  expect_turned_to(60);
}

TEST_F(Limiter, AFalseConditionStopsIt) {
  host().player.condition = 0;
  set_character_degrees(100);
  frame();
  expect_not_turned();
  EXPECT_EQ(host().condition_calls, 1);
  EXPECT_EQ(host().heading_calls, 0);
}

TEST_F(Limiter, ANanCameraHeadingStopsIt) {
  set_camera_radians(kNaN);
  set_character_degrees(100);
  frame();
  expect_not_turned();
  EXPECT_EQ(host().heading_calls, 0);
}

TEST_F(Limiter, NoPlayerStopsIt) {
  host().player.present = false;
  frame();
  EXPECT_EQ(host().find_player_args, std::vector<int>{-1});
  expect_not_turned();
  EXPECT_EQ(host().condition_calls, 0);
}

TEST_F(Limiter, ReadsTheCameraThroughTheAddressTable) {
  // A slot pointing elsewhere is followed: the camera at 0xB6F028 is not
  // looked at.
  standin::poke_value<float>(0x900000 + game::camera::kHeading,
                             radians_giving(300, kHostCameraFactor));
  hostkit::address_table::camera_object = static_cast<std::uint32_t>(standin::at(0x900000));
  set_character_degrees(10);
  frame();
  expect_turned_to(0);
}

// ---- setting a heading -----------------------------------------------------

struct SetCase {
  float degrees;
  float stored;  // degrees the host is given, before the radians factor
};

void PrintTo(const SetCase& c, std::ostream* out) { *out << c.degrees << " degrees"; }

class SetHeading : public Limiter, public testing::WithParamInterface<SetCase> {};

TEST_P(SetHeading, BringsTheHeadingIntoRangeThenWritesBothFieldsAndTellsTheHost) {
  viewfix::set_character_heading(player_record(), GetParam().degrees);
  expect_turned_to(GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    Degrees, SetHeading,
    testing::Values(SetCase{0, 0}, SetCase{59.5f, 59.5f}, SetCase{360, 360}, SetCase{361, 1},
                    SetCase{800, 440}, SetCase{-10, 350}, SetCase{-360, 0}, SetCase{-370, 350},
                    SetCase{-1000, 80}, SetCase{kNaN, 0}, SetCase{kInfinity, 0},
                    SetCase{-kInfinity, 0}));

class HugeHeading : public Limiter, public testing::WithParamInterface<float> {};

TEST_P(HugeHeading, IsReducedIntoOneTurnWithoutSteppingForEver) {
  const float huge = GetParam();
  viewfix::set_character_heading(player_record(), huge);
  ASSERT_EQ(host().set_heading_calls.size(), 1u);
  double expected = std::fmod(static_cast<double>(huge), 360.0);
  if (expected < 0) expected += 360.0;
  const double radians = host().set_heading_calls[0].radians;
  EXPECT_NEAR(radians, expected * kHostRadiansFactor, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(BothWays, HugeHeading,
                         testing::Values(-3.0e30f, 3.0e30f, -std::numeric_limits<float>::max(),
                                         std::numeric_limits<float>::max(), -1.0e7f, 1.0e7f));

TEST_F(Limiter, AHugeCharacterHeadingStillEndsWithinSixtyDegreesOfTheCamera) {
  struct HugeCase {
    float radians;
    std::optional<float> turned_to;  // degrees; none: left as it is
  };
  // The camera at 0. 1e30 radians is about 5.73e31 degrees, 256 past whole
  // turns: 104 to the camera's right, turned to 300. -1e30 is 104 to its
  // left, turned to 60. 3e38 radians is past the largest float in degrees:
  // taken as 0, already within the limit.
  const HugeCase cases[] = {{1.0e30f, 300.0f}, {-1.0e30f, 60.0f}, {3.0e38f, std::nullopt}};
  for (const HugeCase& c : cases) {
    SCOPED_TRACE(c.radians);
    standin::reset();
    host().player.heading_radians = c.radians;
    frame();
    ASSERT_EQ(host().heading_calls, 1);
    if (!c.turned_to) {
      EXPECT_TRUE(host().set_heading_calls.empty());
      continue;
    }
    ASSERT_EQ(host().set_heading_calls.size(), 1u);
    EXPECT_NEAR(host().set_heading_calls[0].radians / kHostRadiansFactor, *c.turned_to, 1e-3);
  }
}

TEST_F(Limiter, TheHostTakesTheNewHeadingBeforeTheCharacterIsRefreshed) {
  set_character_degrees(100);
  frame();
  EXPECT_THAT(host().routine_calls, testing::ElementsAre("find_player", "condition", "heading",
                                                         "set_heading", "refresh"));
}

// ---- the code guard --------------------------------------------------------

struct GuardCase {
  const char* name;
  std::uint32_t saved;
  std::uint32_t found;  // what the guarded code holds at the frame
  bool active_before;
  bool active_after;
  std::uint32_t code_after;
  bool limits;
};

void PrintTo(const GuardCase& c, std::ostream* out) { *out << c.name; }

const GuardCase kGuards[] = {
    {"switched_off_turns_the_limiter_on", kHostGuard, kSilenced, false, true, kSilenced, true},
    {"switched_off_keeps_it_on", kHostGuard, kSilenced, true, true, kSilenced, true},
    {"as_captured_keeps_it_on", kHostGuard, kHostGuard, true, true, kHostGuard, true},
    {"as_captured_keeps_it_off", kHostGuard, kHostGuard, false, false, kHostGuard, false},
    {"anything_else_is_undone", kHostGuard, 0x12345678, true, false, kHostGuard, false},
    {"anything_else_while_off", kHostGuard, 0xCCCCCCCC, false, false, kHostGuard, false},
    {"captured_switched_off_is_written_back", kSilenced, kHostGuard, true, false, kSilenced,
     false},
};

class CodeGuard : public Limiter, public testing::WithParamInterface<GuardCase> {};

TEST_P(CodeGuard, DecidesTheLimiterAndMendsTheCode) {
  const GuardCase& c = GetParam();
  viewfix::saved_guard_bytes = c.saved;
  viewfix::limiter_active = c.active_before;
  standin::poke_value<std::uint32_t>(game::code::kGuarded, c.found);
  set_character_degrees(100);
  frame();
  EXPECT_EQ(viewfix::limiter_active, c.active_after);
  EXPECT_EQ(standin::peek<std::uint32_t>(game::code::kGuarded), c.code_after);
  EXPECT_EQ(viewfix::saved_guard_bytes, c.saved);
  if (c.limits) {
    expect_turned_to(60);
  } else {
    expect_not_turned();
    EXPECT_TRUE(host().find_player_args.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CodeGuard, testing::ValuesIn(kGuards),
                         [](const testing::TestParamInfo<GuardCase>& i) {
                           return std::string(i.param.name);
                         });

TEST_F(Limiter, ReadsTheGuardedCodeAtItsAbsoluteAddressEveryFrame) {
  hostkit::resolve_address(0);
  testing_os::OsFake os;
  frame();
  frame();
  std::vector<testing_os::ProtectCall> lifted;
  for (const auto& call : os.protect_calls) {
    if (call.protection == 0x40) lifted.push_back(call);
  }
  const testing_os::ProtectCall guard{game::code::kGuarded, 4, 0x40};
  EXPECT_THAT(lifted, testing::ElementsAre(guard, guard));
}

TEST(LimiterAtStart, TheGuardAsCapturedLeavesItOff) {
  standin::reset();
  hostkit::resolve_host_address_table();
  viewfix::outside_module = reinterpret_cast<void*>(standin::image_base());
  viewfix::saved_guard_bytes = standin::peek<std::uint32_t>(game::code::kGuarded);
  host().player.heading_radians = 2.0f;  // about 115 degrees, the camera at 0
  frame();
  EXPECT_FALSE(viewfix::limiter_active);
  EXPECT_TRUE(host().set_heading_calls.empty());
  EXPECT_TRUE(host().find_player_args.empty());
}

TEST(LimiterWithoutTheModule, DoesNothingAtAllEveryFrame) {
  standin::reset();
  hostkit::resolve_host_address_table();
  standin::poke_value<std::uint32_t>(game::code::kGuarded, 0x12345678);
  viewfix::saved_guard_bytes = kHostGuard;
  viewfix::limiter_active = true;
  host().player.heading_radians = 2.0f;
  testing_os::OsFake os;
  for (int i = 0; i < 3; ++i) frame();
  EXPECT_THAT(os.protect_calls, testing::IsEmpty()) << "the guarded code is not even read";
  EXPECT_EQ(standin::peek<std::uint32_t>(game::code::kGuarded), 0x12345678u);
  EXPECT_TRUE(viewfix::limiter_active);
  EXPECT_TRUE(host().find_player_args.empty());
  EXPECT_EQ(host().condition_calls, 0);
  EXPECT_EQ(host().heading_calls, 0);
  EXPECT_TRUE(host().set_heading_calls.empty());
  EXPECT_TRUE(host().refresh_calls.empty());
}

}  // namespace
