// Every file of the hostile corpus (fuzz/corpus/hostile, copied beside the
// tests) loaded by the plug-in's own reader, load_aim_settings, into the
// stand-in host. Nothing may fault; the plug-in, which reads at most
// kMaxSettingsBytes of the file through the C runtime, must store exactly
// what the reader makes of the whole file; and no byte next to a target may
// change.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "aimcam/aim_redirect.hpp"
#include "aimcam/aim_settings.hpp"
#include "aimcam/settings_format.hpp"
#include "standins/host/host_standins.hpp"
#include "tests/os_fake.hpp"
#include "tests/plugin_paths.hpp"
#include "tests/settings_targets.hpp"

namespace {

constexpr std::uint32_t kUntouched = 0xBADF00D5;  // a float bit pattern no decimal text gives
constexpr std::int32_t kUntouchedReload = -7;

std::string corpus_folder() { return testing_paths::beside_tests("hostile_settings\\"); }

std::vector<std::string> corpus_files() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(corpus_folder(), error)) {
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string read_whole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What the settings should hold after a load from the untouched state: the
// first `converted` values of each line, in the place its layout entry names.
struct Expected {
  std::int32_t live_reload = kUntouchedReload;
  std::array<std::uint32_t, 7> host_values{};  // by line 3 to 9
  std::array<std::array<std::uint32_t, 7>, 4> rows{};
  std::array<std::array<std::uint32_t, 3>, 16> slots{};
  bool rows_copied = false;
};

class ExpectationSink final : public aimcam::SettingsSink {
 public:
  explicit ExpectationSink(Expected& e) : e_(e) {}
  void on_line(const aimcam::LineSpec& format, std::string_view,
               const aimcam::LineScan& scan) override {
    const auto n = static_cast<std::size_t>(scan.converted);
    for (std::size_t i = 0; i < n; ++i) {
      const auto bits = std::bit_cast<std::uint32_t>(scan.floats[i]);
      switch (format.target) {
        case aimcam::Target::LiveReload:
          e_.live_reload = scan.integer;
          break;
        case aimcam::Target::HostValue:
        case aimcam::Target::CodeConstant:
          e_.host_values[static_cast<std::size_t>(format.line - 3)] = bits;
          break;
        case aimcam::Target::CameraRow:
          e_.rows[static_cast<std::size_t>(format.index)][i] = bits;
          break;
        case aimcam::Target::WeaponSlot:
          e_.slots[static_cast<std::size_t>(format.index)][i] = bits;
          break;
        case aimcam::Target::Header:
          break;
      }
    }
  }
  void on_camera_rows_done() override { e_.rows_copied = true; }

 private:
  Expected& e_;
};

using testing_settings::kLineTargets;

// The host bytes around the targets that no load may write: between the
// values, after the table, and the code bytes around the code constant.
constexpr std::array<std::uintptr_t, 4> kNeighbours = {0x8CC4A4, 0x8CC4BC, 0x8CC530, 0x8CC49C};

std::uint32_t host_bits(std::uintptr_t address) { return standin::peek<std::uint32_t>(address); }

class HostileSettings : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path().string() + "hostile settings " +
              std::to_string(GetCurrentProcessId()) + "\\";
    std::filesystem::create_directories(folder_);
    module_path_ = folder_ + "aimcam.dll";
    os_.module_file_name_result = module_path_.c_str();

    for (std::uintptr_t a : kLineTargets) standin::poke_value(a, kUntouched);
    for (std::uintptr_t a : kNeighbours) standin::poke_value(a, kUntouched);
    for (std::size_t i = 0; i < game::data::kAimTableFloats; ++i) {
      standin::poke_value(game::data::kAimTable + 4 * i, kUntouched);
    }
    code_before_ = code_around_constant();
    for (auto& row : aimcam::camera_rows) row.fill(std::bit_cast<float>(kUntouched));
    for (auto& slot : aimcam::weapon_offsets) slot.fill(std::bit_cast<float>(kUntouched));
    aimcam::live_reload = kUntouchedReload;

    expected_.host_values.fill(kUntouched);
    for (auto& row : expected_.rows) row.fill(kUntouched);
    for (auto& slot : expected_.slots) slot.fill(kUntouched);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  static std::array<std::uint8_t, 8> code_around_constant() {
    std::array<std::uint8_t, 8> bytes{};
    std::memcpy(bytes.data(), standin::host_pointer<const void>(0x52162E), 4);
    std::memcpy(bytes.data() + 4, standin::host_pointer<const void>(0x521636), 4);
    return bytes;
  }

  testing_os::OsFake os_;
  std::string folder_;
  std::string module_path_;
  std::array<std::uint8_t, 8> code_before_{};
  Expected expected_;
};

TEST_P(HostileSettings, LoadsWithoutAFaultAndStoresWhatTheReaderMakesOfTheWholeFile) {
  const std::string bytes = read_whole(corpus_folder() + GetParam());
  ASSERT_TRUE(std::filesystem::copy_file(corpus_folder() + GetParam(), folder_ + "aimingSets.dat"));
  ExpectationSink sink(expected_);
  aimcam::read_settings(bytes, sink);

  aimcam::load_aim_settings();

  EXPECT_EQ(aimcam::live_reload, expected_.live_reload);
  for (std::size_t i = 0; i < kLineTargets.size(); ++i) {
    EXPECT_EQ(host_bits(kLineTargets[i]), expected_.host_values[i]) << "line " << i + 3;
  }
  for (std::size_t r = 0; r < 4; ++r) {
    for (std::size_t c = 0; c < 7; ++c) {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(aimcam::camera_rows[r][c]), expected_.rows[r][c])
          << "row " << r << " column " << c;
      EXPECT_EQ(host_bits(game::data::kAimTable + 4 * (7 * r + c)),
                expected_.rows_copied ? expected_.rows[r][c] : kUntouched)
          << "host table row " << r << " column " << c;
    }
  }
  for (std::size_t s = 0; s < 16; ++s) {
    for (std::size_t k = 0; k < 3; ++k) {
      const float value = aimcam::weapon_offsets[s][k];
      EXPECT_EQ(std::bit_cast<std::uint32_t>(value), expected_.slots[s][k])
          << "slot " << s << " value " << k;
      EXPECT_FALSE(std::isnan(value) && std::bit_cast<std::uint32_t>(value) != kUntouched)
          << "slot " << s << " holds a NaN";
    }
  }
  for (std::uintptr_t a : kNeighbours) EXPECT_EQ(host_bits(a), kUntouched) << std::hex << a;
  EXPECT_EQ(code_around_constant(), code_before_);
}

INSTANTIATE_TEST_SUITE_P(Corpus, HostileSettings, testing::ValuesIn(corpus_files()),
                         [](const testing::TestParamInfo<std::string>& i) {
                           std::string name = i.param.substr(0, i.param.find('.'));
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

// The corpus must be there: an empty list would make the suite above pass
// without loading anything.
TEST(HostileCorpus, IsCopiedBesideTheTests) { EXPECT_GE(corpus_files().size(), 20u); }

}  // namespace
