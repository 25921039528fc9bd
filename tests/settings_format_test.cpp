// Tests of the settings file reader through its public interface: the layout,
// the line reads, the scan of single lines and whole files end to end.
#include "aimcam/settings_format.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;
using aimcam::kSettingsLayout;
using aimcam::LineReader;
using aimcam::LineScan;
using aimcam::LineSpec;
using aimcam::read_settings;
using aimcam::scan_line;
using aimcam::SettingsSink;
using aimcam::Target;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();

const LineSpec& format_of(int line) { return kSettingsLayout.at(static_cast<std::size_t>(line - 1)); }

// Bit-exact, so that -0 differs from +0.
bool same_float(float a, float b) {
  return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

std::vector<float> stored_floats(const LineScan& scan) {
  return {scan.floats.begin(), scan.floats.begin() + scan.converted};
}

void expect_floats(const std::vector<float>& expected, const std::vector<float>& actual) {
  ASSERT_EQ(expected.size(), actual.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_TRUE(same_float(expected[i], actual[i]))
        << "value " << i << ": expected " << expected[i] << ", got " << actual[i];
  }
}

// One line as the sink saw it, copied out of the reader's buffer.
struct Seen {
  int line = 0;
  Target target = Target::Header;
  std::string piece;
  std::string label;
  bool label_too_long = false;
  int converted = 0;
  std::int32_t integer = 0;
  bool integer_saturated = false;
  std::vector<float> floats;  // the converted ones only
  bool operator==(const Seen&) const = default;
};

class RecordingSink : public SettingsSink {
 public:
  std::vector<Seen> lines;
  // How many lines had been seen at each call of on_camera_rows_done.
  std::vector<std::size_t> rows_done_after;

  void on_line(const LineSpec& format, std::string_view piece, const LineScan& scan) override {
    Seen seen;
    seen.line = format.line;
    seen.target = format.target;
    seen.piece = std::string(piece);
    seen.label = std::string(scan.label);
    seen.label_too_long = scan.label_too_long;
    seen.converted = scan.converted;
    seen.integer_saturated = scan.integer_saturated;
    if (format.target == Target::LiveReload) {
      if (scan.converted > 0) seen.integer = scan.integer;
    } else {
      seen.floats = stored_floats(scan);
    }
    lines.push_back(std::move(seen));
  }
  void on_camera_rows_done() override { rows_done_after.push_back(lines.size()); }
};

struct Reading {
  int returned = 0;
  RecordingSink sink;
};

Reading read(std::string_view bytes) {
  Reading reading;
  reading.returned = read_settings(bytes, reading.sink);
  return reading;
}

const std::vector<std::string> kExampleLines = {
    "LiveReload 0",
    "HostValues",
    "ValueAt8CC4B4 1.5",
    "ValueAt8CC4B8 2.5",
    "CodeConstant 3.5",
    "ValueAt8CC4B0 4.5",
    "ValueAt8CC4AC 5.5",
    "ValueAt8CC4A8 6.5",
    "ValueAt8CC4A0 7.5",
    "AimTable",
    "Row0 0 1 2 3 4 5 6",
    "Row1 7 8 9 10 11 12 13",
    "Row2 14 15 16 17 18 19 20",
    "Row3 21 22 23 24 25 26 27",
    "WeaponOffsets",
    "Slot0 0 0 0",
    "Slot1 0.5 1 2",
    "Slot2 0.5 1 2",
    "Slot3 0.5 1 2",
    "Slot4 0.5 1 2",
    "Slot5 0.5 1 2",
    "Slot6 0.5 1 2",
    "Slot7 0.5 1 2",
    "Slot8 0.5 1 2",
    "Slot9 0.5 1 2",
    "Slot10 0.5 1 2",
    "Slot11 0.5 1 2",
    "Slot12 0.5 1 2",
    "Slot13 0.5 1 2",
    "Slot14 0.5 1 2",
    "Slot15 0.5 1 2",
};

std::string join(const std::vector<std::string>& lines, std::string_view eol = "\n") {
  std::string text;
  for (const auto& line : lines) {
    text += line;
    text += eol;
  }
  return text;
}

std::vector<std::string> first_lines(std::size_t count) {
  return {kExampleLines.begin(), kExampleLines.begin() + static_cast<std::ptrdiff_t>(count)};
}

// ---------------------------------------------------------------------------

TEST(SettingsLayout, FollowsTheFileFormat) {
  struct Host {
    int line;
    Target target;
    std::uint32_t address;
  };
  const Host hosts[] = {
      {3, Target::HostValue, 0x8CC4B4}, {4, Target::HostValue, 0x8CC4B8},
      {5, Target::CodeConstant, 0x521632}, {6, Target::HostValue, 0x8CC4B0},
      {7, Target::HostValue, 0x8CC4AC}, {8, Target::HostValue, 0x8CC4A8},
      {9, Target::HostValue, 0x8CC4A0},
  };
  for (const auto& host : hosts) {
    const LineSpec& format = format_of(host.line);
    EXPECT_EQ(format.target, host.target) << "line " << host.line;
    EXPECT_EQ(format.host_address, host.address) << "line " << host.line;
    EXPECT_EQ(format.expected, 1) << "line " << host.line;
  }
  EXPECT_EQ(format_of(1).target, Target::LiveReload);
  EXPECT_EQ(format_of(1).expected, 1);
  for (int line : {2, 10, 15}) {
    EXPECT_EQ(format_of(line).target, Target::Header) << "line " << line;
    EXPECT_EQ(format_of(line).expected, 0) << "line " << line;
  }
  for (int row = 0; row < 4; ++row) {
    const LineSpec& format = format_of(11 + row);
    EXPECT_EQ(format.target, Target::CameraRow);
    EXPECT_EQ(format.index, row);
    EXPECT_EQ(format.expected, 7);
  }
  for (int slot = 0; slot < 16; ++slot) {
    const LineSpec& format = format_of(16 + slot);
    EXPECT_EQ(format.target, Target::WeaponSlot);
    EXPECT_EQ(format.index, slot);
    EXPECT_EQ(format.expected, 3);
  }
  for (std::size_t i = 0; i < kSettingsLayout.size(); ++i) {
    EXPECT_EQ(kSettingsLayout[i].line, static_cast<int>(i) + 1);
  }
}

// ---------------------------------------------------------------------------

TEST(LineReader, SplitsBytesIntoPieces) {
  const std::string x510(510, 'x');
  const std::string x511(511, 'x');
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> pieces;
  };
  const Case cases[] = {
      {"empty", "", {}},
      {"no final line feed", "a\nb", {"a", "b"}},
      {"final line feed", "a\nb\n", {"a", "b"}},
      {"empty lines", "\n\n", {"", ""}},
      {"CR LF", "a\r\nb\r\n", {"a", "b"}},
      {"lone CR inside", "a\rb\n", {"a\rb"}},
      {"lone CR at the end", "a\r", {"a\r"}},
      {"CR before CR LF", "a\r\r\n", {"a\r"}},
      {"LF CR", "a\n\rb", {"a", "\rb"}},
      {"NUL kept", "a\0b\nc"s, {"a\0b"s, "c"}},
      {"510 and LF fit", x510 + "\nb", {x510, "b"}},
      {"510 and CR LF fit", x510 + "\r\nb", {x510, "b"}},
      {"511 and LF leave an empty piece", x511 + "\nb", {x511, "", "b"}},
      {"600 in two pieces", std::string(600, 'y'), {std::string(511, 'y'), std::string(89, 'y')}},
      {"1100 in three pieces", std::string(1100, 'z') + "\n",
       {std::string(511, 'z'), std::string(511, 'z'), std::string(78, 'z')}},
      {"Ctrl-Z mid-line ends the file", "a\nb\x1A" "c\nd\n", {"a", "b"}},
      {"Ctrl-Z at a line start", "a\n\x1A" "b\n", {"a"}},
      {"Ctrl-Z first", "\x1A" "a\n", {}},
      {"Ctrl-Z after a CR", "a\r\x1A\nb", {"a\r"}},
      {"Ctrl-Z after CR LF", "a\r\n\x1A\r\nb", {"a"}},
      {"Ctrl-Z after 511", x511 + "\x1A" "b", {x511}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LineReader reader(c.bytes);
    std::vector<std::string> pieces;
    std::string_view piece;
    while (reader.next(piece)) {
      ASSERT_LE(pieces.size(), c.bytes.size()) << "reader does not advance";
      pieces.emplace_back(piece);
    }
    EXPECT_EQ(pieces, c.pieces);
    EXPECT_FALSE(reader.next(piece)) << "reads again after the end";
  }
}

// ---------------------------------------------------------------------------

struct ScanCase {
  int line;  // picks the shape: 3 one float, 12 seven floats, 16 three floats
  std::string text;
  std::string label;
  std::vector<float> values;
};

void check_scan(const ScanCase& c) {
  SCOPED_TRACE("line " + std::to_string(c.line) + ": \"" + c.text + "\"");
  const LineScan scan = scan_line(format_of(c.line), c.text);
  EXPECT_EQ(std::string(scan.label), c.label);
  EXPECT_FALSE(scan.label_too_long);
  EXPECT_EQ(scan.converted, static_cast<int>(c.values.size()));
  expect_floats(c.values, stored_floats(scan));
}

TEST(ScanLine, LabelsAndCounts) {
  const ScanCase cases[] = {
      {3, "ValueAt8CC4B4 1.5", "ValueAt8CC4B4", {1.5f}},
      {3, "Camera distance 1.0", "Camera", {}},
      {12, "Camera row 1 2 3", "Camera", {}},
      {3, "1.5", "1.5", {}},
      {3, "", "", {}},
      {3, " \t \r", "", {}},
      {3, "\t  Lead\t-2.5", "Lead", {-2.5f}},
      {3, "L\v1\f", "L", {1.0f}},
      {16, "L\r1\v2\f3", "L", {1.0f, 2.0f, 3.0f}},
      {12, "Row1 7 8 9 10 11", "Row1", {7, 8, 9, 10, 11}},
      {12, "Row1 7 8 9 10 11 12 13 14 15", "Row1", {7, 8, 9, 10, 11, 12, 13}},
      {16, "Slot 1 2 x 3", "Slot", {1, 2}},
      {16, "Slot 1 2 3 trailing words 4", "Slot", {1, 2, 3}},
      {3, "L 1.5abc", "L", {1.5f}},
      {16, "L 1.5abc 2 3", "L", {1.5f}},
      {16, "L 1-2+3", "L", {1, -2, 3}},
      {16, "L 1.5.5", "L", {1.5f, 0.5f}},
      {16, "L 1,5 2", "L", {1}},
  };
  for (const auto& c : cases) check_scan(c);
}

TEST(ScanLine, DecimalNumberShapes) {
  const ScanCase cases[] = {
      {3, "L 1e", "L", {1}},
      {16, "L 1e 2 3", "L", {1}},
      {3, "L 1d", "L", {1}},
      {3, "L 1d5", "L", {100000}},
      {3, "L 1D-3", "L", {0.001f}},
      {3, "L 5.d2", "L", {500}},
      {16, "L 2d+1 .5D1 -2D1x", "L", {20, 5, -20}},
      {16, "L 2e+ 3", "L", {2}},
      {3, "L .", "L", {}},
      {3, "L -", "L", {}},
      {3, "L +", "L", {}},
      {3, "L -.", "L", {}},
      {3, "L e5", "L", {}},
      {3, "L +2.5", "L", {2.5f}},
      {3, "L -0", "L", {-0.0f}},
      {3, "L 1.5e3", "L", {1500}},
      {3, "L 1.5E-1", "L", {0.15f}},
      {3, "L 5.", "L", {5}},
      {3, "L .25", "L", {0.25f}},
      {3, "L 5.e2", "L", {500}},
      {3, "L 007.5", "L", {7.5f}},
      {3, "L   \t 3", "L", {3}},
      {3, "L 0x10", "L", {0}},
      {16, "L 0x1p3 1 1", "L", {0}},
      {3, "L inf", "L", {}},
      {3, "L -infinity", "L", {}},
      {3, "L nan", "L", {}},
  };
  for (const auto& c : cases) check_scan(c);
}

TEST(ScanLine, FloatsAreCorrectlyRounded) {
  constexpr float kMax = std::numeric_limits<float>::max();
  constexpr float kDenorm = std::numeric_limits<float>::denorm_min();
  const ScanCase cases[] = {
      {3, "L 0.1", "L", {0.1f}},
      {3, "L 0.100000001490116119384765625", "L", {0.1f}},
      {3, "L 16777217", "L", {16777216.0f}},
      {3, "L 16777219", "L", {16777220.0f}},
      // 1 + 2^-24 is halfway between 1 and the next float: ties go to even.
      {3, "L 1.000000059604644775390625", "L", {1.0f}},
      {3, "L 1.0000000596046449", "L", {1.00000011920928955078125f}},
      {3, "L 3.4028235e38", "L", {kMax}},
      {3, "L 1e-45", "L", {kDenorm}},
      {3, "L 1.17549435e-38", "L", {std::numeric_limits<float>::min()}},
  };
  for (const auto& c : cases) check_scan(c);
}

TEST(ScanLine, FloatsRoundToADoubleFirstAsTheRuntimeDoes) {
  // Text beside a point halfway between two floats, nearer to it than half a
  // double's step, reads as the halfway point, which then ties to even.
  // Rounded straight to a float, each would go to the other neighbour.
  const ScanCase cases[] = {
      {3, "L 1.000000059604644775390626", "L", {1.0f}},
      {3, "L 1.0000000596046448", "L", {1.0f}},
      // Just below 1 + 3 * 2^-24, between 1 + 2^-23 and the even 1 + 2^-22.
      {3, "L 1.000000178813934326171874", "L", {1.0000002384185791015625f}},
      // Just below the point halfway from the largest float to 2^128.
      {3, "L 3.4028235677973366163753939545814256845e38", "L", {kInf}},
      {16, "L -3.4028235677973366163753939545814256845e38 2 3", "L", {-kInf, 2, 3}},
  };
  for (const auto& c : cases) check_scan(c);
}

TEST(ScanLine, FloatOverflowGivesInfinityAndUnderflowZero) {
  const ScanCase cases[] = {
      {3, "L 1e39", "L", {kInf}},
      {3, "L -1e39", "L", {-kInf}},
      {3, "L 3.4028236e38", "L", {kInf}},
      {3, "L 1e99999999999999999999", "L", {kInf}},
      {3, "L 0.001e42", "L", {kInf}},
      {3, "L " + std::string(60, '9'), "L", {kInf}},
      {3, "L 1e-50", "L", {0.0f}},
      {3, "L -1e-50", "L", {-0.0f}},
      {3, "L 1000e-49", "L", {0.0f}},
      {3, "L 0.00000000000000000000000000000000000000000000001", "L", {0.0f}},
      {3, "L 1e-99999999999999999999", "L", {0.0f}},
      {3, "L 0e99999", "L", {0.0f}},
      {16, "L 1e39 -1e-50 2", "L", {kInf, -0.0f, 2}},
  };
  for (const auto& c : cases) check_scan(c);
}

TEST(ScanLine, NulEndsTheText) {
  const ScanCase cases[] = {
      {16, "L 1\0 2 3"s, "L", {1}},
      {3, "L 1.5\0"s, "L", {1.5f}},
      {3, "L\0 1.5"s, "L", {}},
      {3, "\0L 1.5"s, "", {}},
      {16, "L 1 2\0003"s, "L", {1, 2}},
  };
  for (const auto& c : cases) check_scan(c);
}

TEST(ScanLine, LooksAtNoMoreThanALineReadYields) {
  // "1.25" starts at the 509th character: its "5" is the 512th.
  const std::string text = "L" + std::string(aimcam::kMaxPieceLength - 4, ' ') + "1.25 2.5";
  const LineScan scan = scan_line(format_of(16), text);
  EXPECT_EQ(scan.converted, 1);
  EXPECT_EQ(scan.floats[0], 1.2f) << "the 512th character on is not looked at";
  EXPECT_EQ(scan.end, aimcam::kMaxPieceLength);
}

TEST(ScanLine, LabelLengthLimit) {
  const std::string at_limit(aimcam::kMaxLabelLength, 'a');
  const LineScan fits = scan_line(format_of(3), at_limit + " 2.5");
  EXPECT_FALSE(fits.label_too_long);
  EXPECT_EQ(fits.label.size(), aimcam::kMaxLabelLength);
  ASSERT_EQ(fits.converted, 1);
  EXPECT_EQ(fits.floats[0], 2.5f);

  for (int line : {1, 3, 12}) {
    SCOPED_TRACE(line);
    const LineScan over = scan_line(format_of(line), at_limit + "b 2 3 4 5 6 7 8");
    EXPECT_TRUE(over.label_too_long);
    EXPECT_EQ(over.converted, 0);
    EXPECT_EQ(over.label.size(), aimcam::kMaxLabelLength + 1);
  }
}

TEST(ScanLine, Integers) {
  struct Case {
    std::string text;
    int converted;
    std::int32_t value;
    bool saturated;
  };
  const Case cases[] = {
      {"LiveReload 0", 1, 0, false},
      {"LiveReload 1", 1, 1, false},
      {"LiveReload -17", 1, -17, false},
      {"LiveReload +5", 1, 5, false},
      {"LiveReload 007", 1, 7, false},
      {"LiveReload 1.9", 1, 1, false},
      {"LiveReload 12abc", 1, 12, false},
      {"LiveReload 2147483647", 1, kIntMax, false},
      {"LiveReload 2147483648", 1, kIntMax, true},
      {"LiveReload 99999999999", 1, kIntMax, true},
      {"LiveReload 4294967297", 1, kIntMax, true},
      {"LiveReload " + std::string(40, '9'), 1, kIntMax, true},
      {"LiveReload -2147483648", 1, kIntMin, false},
      {"LiveReload -2147483649", 1, kIntMin, true},
      {"LiveReload -99999999999", 1, kIntMin, true},
      {"LiveReload", 0, 0, false},
      {"LiveReload on", 0, 0, false},
      {"LiveReload -", 0, 0, false},
      {"LiveReload .5", 0, 0, false},
      {"1", 0, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const LineScan scan = scan_line(format_of(1), c.text);
    EXPECT_EQ(scan.converted, c.converted);
    if (c.converted == 1) {
      EXPECT_EQ(scan.integer, c.value);
      EXPECT_EQ(scan.integer_saturated, c.saturated);
    }
  }
}

TEST(ScanLine, EndMarksTheUnusedText) {
  struct Case {
    int line;
    std::string text;
    std::string rest;  // the text from `end` on
  };
  const Case cases[] = {
      {3, "L 1.5 # note", " # note"},
      {3, "L 1e", "e"},
      {16, "L 1 2 x 3", " x 3"},
      {16, "L 1 2 3", ""},
      {1, "Live 42abc", "abc"},
      {3, "Label words", " words"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const LineScan scan = scan_line(format_of(c.line), c.text);
    ASSERT_LE(scan.end, c.text.size());
    EXPECT_EQ(c.text.substr(scan.end), c.rest);
  }
}

TEST(ScanLine, HeadersAreNotParsed) {
  for (int line : {2, 10, 15}) {
    const LineScan scan = scan_line(format_of(line), "7 8 9 10 11 12 13 14");
    EXPECT_EQ(scan.converted, 0) << "line " << line;
    EXPECT_TRUE(scan.label.empty()) << "line " << line;
  }
}

// Restores the numeric locale on the way out of the test.
class NumericLocale {
 public:
  NumericLocale() : saved_(std::setlocale(LC_NUMERIC, nullptr)) {}
  ~NumericLocale() { std::setlocale(LC_NUMERIC, saved_.c_str()); }
  NumericLocale(const NumericLocale&) = delete;
  NumericLocale& operator=(const NumericLocale&) = delete;

  bool use_decimal_comma() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "German_Germany.1252", "German",
                             "fr_FR.UTF-8", "fr_FR.utf8"}) {
      if (std::setlocale(LC_NUMERIC, name) && std::localeconv()->decimal_point[0] == ',') {
        return true;
      }
    }
    return false;
  }

 private:
  std::string saved_;
};

TEST(ScanLine, DecimalPointWhateverTheLocale) {
  NumericLocale locale;
  if (!locale.use_decimal_comma()) GTEST_SKIP() << "no locale with a decimal comma here";
  check_scan({16, "L 1.5 2,5 3", "L", {1.5f, 2.0f}});
  check_scan({3, "L 1,5", "L", {1.0f}});
  const Reading reading = read(join(kExampleLines));
  ASSERT_EQ(reading.sink.lines.size(), 31u);
  EXPECT_EQ(reading.sink.lines[2].floats, std::vector<float>{1.5f});
}

// ---------------------------------------------------------------------------

TEST(ReadSettings, ExampleFileEndToEnd) {
  const Reading reading = read(join(kExampleLines));
  const auto& lines = reading.sink.lines;
  EXPECT_EQ(reading.returned, 31);
  ASSERT_EQ(lines.size(), 31u);

  const std::vector<float> slot{0.5f, 1, 2};
  const std::vector<std::vector<float>> floats_by_line = {
      {},  // line 1 holds the integer
      {},
      {1.5f}, {2.5f}, {3.5f}, {4.5f}, {5.5f}, {6.5f}, {7.5f},
      {},
      {0, 1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12, 13},
      {14, 15, 16, 17, 18, 19, 20}, {21, 22, 23, 24, 25, 26, 27},
      {},
      {0, 0, 0}, slot, slot, slot, slot, slot, slot, slot, slot,
      slot, slot, slot, slot, slot, slot, slot,
  };
  ASSERT_EQ(floats_by_line.size(), 31u);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE("line " + std::to_string(i + 1));
    const Seen& seen = lines[i];
    EXPECT_EQ(seen.line, static_cast<int>(i) + 1);
    EXPECT_EQ(seen.target, kSettingsLayout[i].target);
    EXPECT_EQ(seen.piece, kExampleLines[i]);
    EXPECT_FALSE(seen.label_too_long);
    if (seen.target == Target::Header) {
      EXPECT_EQ(seen.converted, 0);
    } else {
      EXPECT_EQ(seen.label, kExampleLines[i].substr(0, kExampleLines[i].find(' ')));
    }
    if (seen.target != Target::LiveReload) {
      EXPECT_EQ(seen.floats, floats_by_line[i]);
    }
  }
  EXPECT_EQ(lines[0].converted, 1);
  EXPECT_EQ(lines[0].integer, 0);
  EXPECT_FALSE(lines[0].integer_saturated);
  // Once, after line 14 and before line 15.
  EXPECT_EQ(reading.sink.rows_done_after, std::vector<std::size_t>{14});
}

TEST(ReadSettings, CrLfReadsLikeLf) {
  const Reading lf = read(join(kExampleLines));
  const Reading crlf = read(join(kExampleLines, "\r\n"));
  EXPECT_EQ(crlf.returned, 31);
  EXPECT_EQ(crlf.sink.lines, lf.sink.lines);
  EXPECT_EQ(crlf.sink.rows_done_after, lf.sink.rows_done_after);
}

TEST(ReadSettings, LoneCrDoesNotEndALine) {
  std::vector<std::string> lines = kExampleLines;
  lines[2] = "ValueAt8CC4B4\r1.5";  // a CR between label and value is white space
  const Reading inside = read(join(lines));
  ASSERT_EQ(inside.sink.lines.size(), 31u);
  EXPECT_EQ(inside.sink.lines[2].piece, lines[2]);
  EXPECT_EQ(inside.sink.lines[2].floats, std::vector<float>{1.5f});

  // Old Mac line ends: the whole file is one line.
  const Reading cr_only = read(join(kExampleLines, "\r"));
  EXPECT_EQ(cr_only.returned, 1);
  ASSERT_EQ(cr_only.sink.lines.size(), 1u);
  EXPECT_EQ(cr_only.sink.lines[0].converted, 1);
  EXPECT_EQ(cr_only.sink.lines[0].integer, 0);
  EXPECT_TRUE(cr_only.sink.rows_done_after.empty());
}

TEST(ReadSettings, HeadersWithNumbersAreNeverParsed) {
  std::vector<std::string> lines = kExampleLines;
  for (std::size_t header : {1u, 9u, 14u}) lines[header] = "Header 9 9 9 9 9 9 9";
  const Reading numeric = read(join(lines));
  const Reading plain = read(join(kExampleLines));
  ASSERT_EQ(numeric.sink.lines.size(), 31u);
  for (std::size_t i = 0; i < 31; ++i) {
    SCOPED_TRACE("line " + std::to_string(i + 1));
    EXPECT_EQ(numeric.sink.lines[i].converted, plain.sink.lines[i].converted);
    EXPECT_EQ(numeric.sink.lines[i].floats, plain.sink.lines[i].floats);
  }
}

TEST(ReadSettings, OverLongLineSplitsAndShiftsTheLinesAfterIt) {
  // Line 3 is 600 characters: its first 511 are line 3, the other 89 line 4,
  // and every later line of the file moves down by one.
  std::string first = "ValueAt8CC4B4 1.5";
  first.resize(aimcam::kMaxPieceLength, ' ');
  std::string rest = "Extra 8.5";
  rest.resize(600 - aimcam::kMaxPieceLength, ' ');
  std::vector<std::string> lines = kExampleLines;
  lines[2] = first + rest;

  const Reading reading = read(join(lines));
  const auto& seen = reading.sink.lines;
  EXPECT_EQ(reading.returned, 31);
  ASSERT_EQ(seen.size(), 31u);
  EXPECT_EQ(seen[2].piece, first);
  EXPECT_EQ(seen[2].floats, std::vector<float>{1.5f});
  EXPECT_EQ(seen[3].piece, rest);
  EXPECT_EQ(seen[3].floats, std::vector<float>{8.5f});
  EXPECT_EQ(seen[4].label, "ValueAt8CC4B8");  // the code constant gets line 4's text
  EXPECT_EQ(seen[4].floats, std::vector<float>{2.5f});
  EXPECT_EQ(seen[9].piece, "ValueAt8CC4A0 7.5");  // now a header: not parsed
  EXPECT_EQ(seen[9].converted, 0);
  EXPECT_EQ(seen[10].label, "AimTable");  // camera row 0 gets the header
  EXPECT_EQ(seen[10].converted, 0);
  EXPECT_EQ(seen[11].floats, (std::vector<float>{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(seen[13].floats, (std::vector<float>{14, 15, 16, 17, 18, 19, 20}));
  EXPECT_EQ(seen[14].piece, "Row3 21 22 23 24 25 26 27");
  EXPECT_EQ(seen[15].label, "WeaponOffsets");
  EXPECT_EQ(seen[15].converted, 0);
  EXPECT_EQ(seen[30].label, "Slot14");  // Slot15 is never read
  EXPECT_EQ(reading.sink.rows_done_after, std::vector<std::size_t>{14});
}

TEST(ReadSettings, FileEndingEarly) {
  struct Case {
    std::size_t lines;
    bool final_line_feed;
  };
  const Case cases[] = {{0, true}, {1, false}, {13, true},  {13, false}, {14, false},
                        {15, true}, {19, true}, {30, false}, {31, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.lines) + (c.final_line_feed ? " lines" : " lines, no final LF"));
    std::string bytes = join(first_lines(c.lines));
    if (!c.final_line_feed && !bytes.empty()) bytes.pop_back();
    const Reading reading = read(bytes);
    EXPECT_EQ(reading.returned, static_cast<int>(c.lines));
    ASSERT_EQ(reading.sink.lines.size(), c.lines);
    if (c.lines > 0) {
      EXPECT_EQ(reading.sink.lines.back().piece, kExampleLines[c.lines - 1]);
      EXPECT_EQ(reading.sink.lines.back().line, static_cast<int>(c.lines));
    }
    const std::vector<std::size_t> rows_done =
        c.lines >= 14 ? std::vector<std::size_t>{14} : std::vector<std::size_t>{};
    EXPECT_EQ(reading.sink.rows_done_after, rows_done);
  }
}

TEST(ReadSettings, CtrlZEndsTheFile) {
  // In the middle of line 12: its text before the Ctrl-Z is still line 12,
  // and the file has no line after it; the rows never reach the host table.
  std::string bytes = join(kExampleLines);
  bytes.insert(bytes.find("Row1 7 8 9") + 10, "\x1A");
  const Reading reading = read(bytes);
  EXPECT_EQ(reading.returned, 12);
  ASSERT_EQ(reading.sink.lines.size(), 12u);
  EXPECT_EQ(reading.sink.lines[11].piece, "Row1 7 8 9");
  EXPECT_EQ(reading.sink.lines[11].floats, (std::vector<float>{7, 8, 9}));
  EXPECT_TRUE(reading.sink.rows_done_after.empty());

  // After line 31's line feed: nothing is lost.
  const Reading after_the_end = read(join(kExampleLines) + "\x1A");
  EXPECT_EQ(after_the_end.returned, 31);
  EXPECT_EQ(after_the_end.sink.lines, read(join(kExampleLines)).sink.lines);
}

TEST(ReadSettings, StopsAfterLine31) {
  std::vector<std::string> lines = kExampleLines;
  lines.insert(lines.end(), {"Slot16 9 9 9", "Slot17 9 9 9"});
  const Reading reading = read(join(lines));
  EXPECT_EQ(reading.returned, 31);
  ASSERT_EQ(reading.sink.lines.size(), 31u);
  EXPECT_EQ(reading.sink.lines.back().label, "Slot15");
}

TEST(ReadSettings, BoundedPrefixReadsLikeTheWholeFile) {
  // The lines that take the most bytes: 510 characters and a CR LF each.
  std::vector<std::string> lines;
  for (int i = 0; i < 70; ++i) {
    std::string line = "L";
    line += std::to_string(i);
    line += ' ';
    line += std::to_string(i);
    line += ".25";
    line.resize(aimcam::kMaxPieceLength - 1, ' ');
    lines.push_back(line);
  }
  const std::string whole = join(lines, "\r\n");
  ASSERT_GT(whole.size(), aimcam::kMaxSettingsBytes);
  const Reading full = read(whole);
  const Reading bounded = read(std::string_view(whole).substr(0, aimcam::kMaxSettingsBytes));
  EXPECT_EQ(bounded.returned, 31);
  EXPECT_EQ(bounded.sink.lines, full.sink.lines);
  ASSERT_EQ(bounded.sink.lines.size(), 31u);
  EXPECT_EQ(bounded.sink.lines[30].floats, (std::vector<float>{30.25f}));
}

}  // namespace
