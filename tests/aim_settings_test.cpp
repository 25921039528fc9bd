// load_aim_settings against the stand-in host: each test writes its settings
// file into a folder of its own, which the kit takes as the plug-in's folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <clocale>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "aimcam/aim_redirect.hpp"
#include "aimcam/aim_settings.hpp"
#include "standins/host/host_standins.hpp"
#include "tests/os_fake.hpp"

namespace {

constexpr float kUntouched = -99.0f;

std::vector<std::string> example_lines() {
  std::vector<std::string> lines = {
      "LiveReload 0",        "HostValues",         "ValueAt8CC4B4 1.5",     "ValueAt8CC4B8 2.5",
      "CodeConstant 3.5",    "ValueAt8CC4B0 4.5",  "ValueAt8CC4AC 5.5",     "ValueAt8CC4A8 6.5",
      "ValueAt8CC4A0 7.5",   "AimTable",           "Row0 0 1 2 3 4 5 6",    "Row1 7 8 9 10 11 12 13",
      "Row2 14 15 16 17 18 19 20", "Row3 21 22 23 24 25 26 27", "WeaponOffsets", "Slot0 0 0 0"};
  for (int slot = 1; slot <= 15; ++slot) lines.push_back("Slot" + std::to_string(slot) + " 0.5 1 2");
  return lines;
}

std::string join(const std::vector<std::string>& lines, const char* end = "\n") {
  std::string text;
  for (const auto& line : lines) text += line + end;
  return text;
}

const std::uintptr_t kHostValues[] = {game::data::kAimValueB4, game::data::kAimValueB8,
                                      game::data::kAimValueB0, game::data::kAimValueAC,
                                      game::data::kAimValueA8, game::data::kAimValueA0};

class AimSettings : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path().string() + "aimcam settings " +
              std::to_string(GetCurrentProcessId()) + "\\";
    std::filesystem::create_directories(folder_);
    module_path_ = folder_ + "aimcam.dll";
    os_.module_file_name_result = module_path_.c_str();

    // Every target starts at a value no load would store.
    for (std::uintptr_t a : kHostValues) standin::poke_value<float>(a, kUntouched);
    standin::poke_value<float>(0x8CC4A4, 12345.0f);
    standin::poke_value<float>(game::code::kAimConstant, kUntouched);
    for (std::size_t i = 0; i < game::data::kAimTableFloats; ++i) {
      standin::poke_value<float>(game::data::kAimTable + 4 * i, kUntouched);
    }
    for (auto& row : aimcam::camera_rows) row.fill(kUntouched);
    for (auto& slot : aimcam::weapon_offsets) slot.fill(kUntouched);
    aimcam::live_reload = -1;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  void write_file(const std::string& text) {
    std::ofstream(folder_ + "aimingSets.dat", std::ios::binary) << text;
  }
  float host_float(std::uintptr_t address) { return standin::peek<float>(address); }
  float table(int row, int column) {
    return host_float(game::data::kAimTable + 4 * static_cast<std::uintptr_t>(row * 7 + column));
  }

  testing_os::OsFake os_;
  std::string folder_;
  std::string module_path_;
};

TEST_F(AimSettings, TheExampleFileReachesEveryTarget) {
  write_file(join(example_lines()));
  aimcam::load_aim_settings();

  EXPECT_EQ(aimcam::live_reload, 0);
  EXPECT_EQ(host_float(0x8CC4B4), 1.5f);
  EXPECT_EQ(host_float(0x8CC4B8), 2.5f);
  EXPECT_EQ(host_float(game::code::kAimConstant), 3.5f);
  EXPECT_EQ(host_float(0x8CC4B0), 4.5f);
  EXPECT_EQ(host_float(0x8CC4AC), 5.5f);
  EXPECT_EQ(host_float(0x8CC4A8), 6.5f);
  EXPECT_EQ(host_float(0x8CC4A0), 7.5f);
  EXPECT_EQ(host_float(0x8CC4A4), 12345.0f) << "the 4 bytes between are never written";
  for (int i = 0; i < 28; ++i) EXPECT_EQ(table(i / 7, i % 7), static_cast<float>(i)) << i;
  EXPECT_EQ(aimcam::weapon_offsets[0], (std::array<float, 3>{0, 0, 0}));
  for (int slot = 1; slot < 16; ++slot) {
    EXPECT_EQ(aimcam::weapon_offsets[slot], (std::array<float, 3>{0.5f, 1, 2})) << slot;
  }
  EXPECT_STREQ(aimcam::aim_settings_path(), (folder_ + "aimingSets.dat").c_str());
}

TEST_F(AimSettings, TheCodeConstantIsWrittenWithTheProtectionLifted) {
  write_file(join(example_lines()));
  aimcam::load_aim_settings();
  int lifted = 0;
  for (const auto& call : os_.protect_calls) {
    if (call.protection == PAGE_EXECUTE_READWRITE) {
      EXPECT_EQ(call.address, game::code::kAimConstant);
      EXPECT_EQ(call.size, 4u);
      ++lifted;
    }
  }
  EXPECT_EQ(lifted, 1) << "host data is written without a protection change";
}

// One line of the example replaced (or more text appended), and what that
// changes.
struct EditCase {
  const char* name;
  int line;  // 1-based line replaced
  std::string text;
  void (*check)(AimSettings& t);
};
void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }


class AimSettingsEdits : public AimSettings, public testing::WithParamInterface<EditCase> {
 public:
  float host(std::uintptr_t a) { return host_float(a); }
  float at_table(int r, int c) { return table(r, c); }
};

TEST_P(AimSettingsEdits, StoreWhatTheLineYields) {
  auto lines = example_lines();
  lines[static_cast<std::size_t>(GetParam().line - 1)] = GetParam().text;
  write_file(join(lines));
  aimcam::load_aim_settings();
  GetParam().check(*this);
}

#define CHECK(body) [](AimSettings & t_) { auto& t = static_cast<AimSettingsEdits&>(t_); (void)t; body; }

INSTANTIATE_TEST_SUITE_P(
    Lines, AimSettingsEdits,
    testing::Values(
        EditCase{"label_with_a_space", 3, "Camera distance 1.0",
                 CHECK(EXPECT_EQ(t.host(0x8CC4B4), kUntouched); EXPECT_EQ(t.host(0x8CC4B8), 2.5f))},
        EditCase{"lone_number", 4, "1.5", CHECK(EXPECT_EQ(t.host(0x8CC4B8), kUntouched))},
        EditCase{"code_constant_not_a_number", 5, "CodeConstant fast",
                 CHECK(EXPECT_EQ(t.host(game::code::kAimConstant), kUntouched))},
        EditCase{"short_row", 12, "Row1 70 80 90 100 110",
                 CHECK(EXPECT_EQ(aimcam::camera_rows[1],
                                 (std::array<float, 7>{70, 80, 90, 100, 110, kUntouched, kUntouched}));
                       EXPECT_EQ(t.at_table(1, 4), 110.0f); EXPECT_EQ(t.at_table(1, 5), kUntouched);
                       EXPECT_EQ(t.at_table(3, 6), 27.0f))},
        EditCase{"numeric_header", 2, "9.5 8.5",
                 CHECK(EXPECT_EQ(t.host(0x8CC4B4), 1.5f); EXPECT_EQ(t.host(0x8CC4A0), 7.5f))},
        EditCase{"numeric_header_15", 15, "Slot0 9 9 9",
                 CHECK(EXPECT_EQ(aimcam::weapon_offsets[0], (std::array<float, 3>{0, 0, 0})))},
        EditCase{"partial_slot", 17, "Slot1 4 oops 6",
                 CHECK(EXPECT_EQ(aimcam::weapon_offsets[1],
                                 (std::array<float, 3>{4, kUntouched, kUntouched})))},
        EditCase{"trailing_text", 18, "Slot2 1 2 3 # a note",
                 CHECK(EXPECT_EQ(aimcam::weapon_offsets[2], (std::array<float, 3>{1, 2, 3})))},
        EditCase{"label_of_128", 16, std::string(128, 'L') + " 1 2 3",
                 CHECK(EXPECT_EQ(aimcam::weapon_offsets[0],
                                 (std::array<float, 3>{kUntouched, kUntouched, kUntouched})))},
        EditCase{"label_of_127", 16, std::string(127, 'L') + " 1 2 3",
                 CHECK(EXPECT_EQ(aimcam::weapon_offsets[0], (std::array<float, 3>{1, 2, 3})))},
        EditCase{"live_reload_saturates", 1, "LiveReload 99999999999",
                 CHECK(EXPECT_EQ(aimcam::live_reload, INT_MAX))},
        EditCase{"live_reload_not_a_number", 1, "LiveReload yes",
                 CHECK(EXPECT_EQ(aimcam::live_reload, -1))},
        // 600 characters on line 3: its second piece becomes line 4, and
        // every later line is read one place late.
        EditCase{"over_long_line", 3, "ValueAt8CC4B4 1.25 " + std::string(581, 'x'),
                 CHECK(EXPECT_EQ(t.host(0x8CC4B4), 1.25f);
                       EXPECT_EQ(t.host(0x8CC4B8), kUntouched);  // the piece "xxx..." has no number
                       EXPECT_EQ(t.host(game::code::kAimConstant), 2.5f);
                       EXPECT_EQ(t.host(0x8CC4A0), 6.5f))}),
    [](const testing::TestParamInfo<EditCase>& i) { return std::string(i.param.name); });

TEST_F(AimSettings, CrLfLinesReadLikeLfLines) {
  write_file(join(example_lines(), "\r\n"));
  aimcam::load_aim_settings();
  EXPECT_EQ(host_float(0x8CC4A0), 7.5f);
  EXPECT_EQ(table(3, 6), 27.0f);
  EXPECT_EQ(aimcam::weapon_offsets[15], (std::array<float, 3>{0.5f, 1, 2}));
}

TEST_F(AimSettings, AMissingFileChangesNothing) {
  aimcam::load_aim_settings();
  EXPECT_EQ(aimcam::live_reload, -1);
  EXPECT_EQ(host_float(0x8CC4B4), kUntouched);
  EXPECT_EQ(host_float(game::code::kAimConstant), kUntouched);
  EXPECT_EQ(table(0, 0), kUntouched);
  EXPECT_EQ(aimcam::weapon_offsets[1][0], kUntouched);
}

TEST_F(AimSettings, AFileEndingEarlyStoresItsLinesAndCopiesNoTableWithoutLine14) {
  auto lines = example_lines();
  lines.resize(12);
  write_file(join(lines));
  aimcam::load_aim_settings();
  EXPECT_EQ(host_float(0x8CC4A0), 7.5f);
  EXPECT_EQ(aimcam::camera_rows[1][6], 13.0f);
  EXPECT_EQ(aimcam::camera_rows[2][0], kUntouched);
  EXPECT_EQ(table(0, 0), kUntouched) << "the table is copied only once line 14 was read";
  EXPECT_EQ(aimcam::weapon_offsets[1][0], kUntouched);
}

TEST_F(AimSettings, AFileEndingAfterLine14CopiesTheTable) {
  auto lines = example_lines();
  lines.resize(14);
  write_file(join(lines));
  aimcam::load_aim_settings();
  EXPECT_EQ(table(3, 6), 27.0f);
  EXPECT_EQ(aimcam::weapon_offsets[1][0], kUntouched);
}

TEST_F(AimSettings, NumbersUseTheDecimalPointWhateverTheLocale) {
  ASSERT_NE(std::setlocale(LC_ALL, "German_Germany.1252"), nullptr);
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  ASSERT_STREQ(probe, "1,5") << "the locale really uses a decimal comma";
  write_file(join(example_lines()));
  aimcam::load_aim_settings();
  EXPECT_EQ(host_float(0x8CC4B4), 1.5f);
  EXPECT_EQ(aimcam::weapon_offsets[3], (std::array<float, 3>{0.5f, 1, 2}));
  std::setlocale(LC_ALL, "C");
}

TEST_F(AimSettings, AFolderTooLongForThePathIsNotOpenedAtAll) {
  // 246 characters of folder plus "aimingSets.dat" do not fit in 260.
  const std::string long_folder = "C:\\" + std::string(242, 'd') + "\\";
  const std::string module = long_folder + "aimcam.dll";
  os_.module_file_name_result = module.c_str();
  EXPECT_STREQ(aimcam::aim_settings_path(), "");
  aimcam::load_aim_settings();
  EXPECT_EQ(aimcam::live_reload, -1);
}

}  // namespace
