// The plug-in's settings reader against the C runtime itself. Files generated
// from fixed seeds are each read twice:
//  A. by the runtime: msvcrt's own fopen in text mode ("r"), fgets into 512
//     bytes and sscanf with the line's format, in the "C" locale, storing from
//     the left what the scan converted;
//  B. by the plug-in: load_aim_settings into the stand-in host.
// Every value either reading stores must be the same, bit for bit. The
// runtime is the reference but where the plug-in has decided otherwise, which
// reading A applies to its own result:
//  - a line-1 integer out of 32-bit range stores the nearest limit (the
//    runtime wraps it);
//  - a label over 127 characters makes its line store nothing.
// (The other two decisions, the decimal point in every locale and a path
// that does not fit, cannot show here: both readings run in the "C" locale
// and open a short path.)
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <limits>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "aimcam/aim_redirect.hpp"
#include "aimcam/aim_settings.hpp"
#include "standins/host/host_standins.hpp"
#include "tests/module_image.hpp"
#include "tests/os_fake.hpp"
#include "tests/plugin_paths.hpp"
#include "tests/settings_file_generator.hpp"
#include "tests/settings_targets.hpp"

namespace {

// The seeds, each a test of its own, and the files made from each.
constexpr std::uint64_t kFirstSeed = 1;
constexpr std::uint64_t kEndSeed = 9;
constexpr int kFilesPerSeed = 750;
constexpr std::uint32_t kUntouched = 0xBADF00D5;  // a float bit pattern no decimal text here gives
constexpr std::int32_t kUntouchedReload = -7;

// Every value a load stores, in file order, as bit patterns: line 1, the
// values of lines 3 to 9, the camera rows (lines 11 to 14), the host aim
// table they are copied to, and the weapon offset slots (lines 16 to 31).
constexpr std::size_t kLiveReload = 0;
constexpr std::size_t kHostValues = 1;
constexpr std::size_t kRows = kHostValues + 7;
constexpr std::size_t kTable = kRows + 28;
constexpr std::size_t kSlots = kTable + 28;
constexpr std::size_t kStoredCount = kSlots + 48;
using Stored = std::array<std::uint32_t, kStoredCount>;

using testing_settings::kLineTargets;
constexpr std::uintptr_t kAimTable = game::data::kAimTable;

Stored untouched() {
  Stored stored;
  stored.fill(kUntouched);
  stored[kLiveReload] = std::bit_cast<std::uint32_t>(kUntouchedReload);
  return stored;
}

// Which line stores a value, and what it is, for messages.
std::string describe(std::size_t i, int& line) {
  std::ostringstream what;
  if (i == kLiveReload) {
    line = 1;
    what << "live reload";
  } else if (i < kRows) {
    line = static_cast<int>(i - kHostValues) + 3;
    what << (line == 5 ? "code constant at 0x" : "host value at 0x") << std::hex << std::uppercase
         << kLineTargets[i - kHostValues];
  } else if (i < kTable) {
    line = static_cast<int>((i - kRows) / 7) + 11;
    what << "camera row " << (i - kRows) / 7 << " value " << (i - kRows) % 7 + 1;
  } else if (i < kSlots) {
    line = static_cast<int>((i - kTable) / 7) + 11;
    what << "host aim table row " << (i - kTable) / 7 << " value " << (i - kTable) % 7 + 1
         << " (copied after line 14)";
  } else {
    line = static_cast<int>((i - kSlots) / 3) + 16;
    what << "weapon offset slot " << (i - kSlots) / 3 << " value " << (i - kSlots) % 3 + 1;
  }
  return what.str();
}

std::string show_value(std::size_t i, std::uint32_t bits) {
  if (bits == untouched()[i]) return "nothing";
  std::ostringstream text;
  if (i == kLiveReload) {
    text << std::bit_cast<std::int32_t>(bits);
  } else {
    text << std::setprecision(9) << std::bit_cast<float>(bits) << " (0x" << std::hex
         << std::uppercase << std::setw(8) << std::setfill('0') << bits << ")";
  }
  return text.str();
}

// Control bytes as \xHH, long text cut short.
std::string printable(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size() && i < 160; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return text.size() > 160 ? out + "..." : out;
}

// The runtime's own functions, not the toolchain's stand-ins for them.
struct Runtime {
  using Open = void*(__cdecl*)(const char*, const char*);
  using GetLine = char*(__cdecl*)(char*, int, void*);
  using Scan = int(__cdecl*)(const char*, const char*, ...);
  using Close = int(__cdecl*)(void*);
  using SetLocale = char*(__cdecl*)(int, const char*);

  Runtime() {
    const HMODULE crt = GetModuleHandleA("msvcrt.dll");
    if (crt == nullptr) return;
    fopen = testing_modules::export_of<Open>(crt, "fopen");
    fgets = testing_modules::export_of<GetLine>(crt, "fgets");
    sscanf = testing_modules::export_of<Scan>(crt, "sscanf");
    fclose = testing_modules::export_of<Close>(crt, "fclose");
    setlocale = testing_modules::export_of<SetLocale>(crt, "setlocale");
    file_mode = reinterpret_cast<const int*>(GetProcAddress(crt, "_fmode"));
  }
  bool complete() const {
    return fopen && fgets && sscanf && fclose && setlocale && file_mode;
  }

  Open fopen = nullptr;
  GetLine fgets = nullptr;
  Scan sscanf = nullptr;
  Close fclose = nullptr;
  SetLocale setlocale = nullptr;
  const int* file_mode = nullptr;  // the mode "r" opens in
};

constexpr int kRuntimeBinaryMode = 0x8000;  // _O_BINARY
constexpr int kRuntimeAllCategories = 0;    // LC_ALL

// The plug-in's rule for a line-1 integer out of 32-bit range: the nearest
// limit, where the runtime stores the value wrapped. `text` is what the scan
// took for the integer: a sign and digits.
std::int32_t saturated(std::string_view text, std::int32_t wrapped) {
  const bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
  std::uint64_t magnitude = 0;
  for (char c : text) {
    magnitude = std::min<std::uint64_t>(magnitude * 10 + static_cast<std::uint64_t>(c - '0'),
                                        std::uint64_t{1} << 40);
  }
  if (!negative && magnitude > std::uint64_t{std::numeric_limits<std::int32_t>::max()}) {
    return std::numeric_limits<std::int32_t>::max();
  }
  if (negative && magnitude > std::uint64_t{1} << 31) return std::numeric_limits<std::int32_t>::min();
  return wrapped;
}

// Reading A: the file through the runtime, line by line in the file's own
// format and order. `lines` gets the text of each line read, up to a NUL.
Stored read_with_runtime(const Runtime& crt, const std::string& path, std::vector<std::string>& lines) {
  Stored stored = untouched();
  void* file = crt.fopen(path.c_str(), "r");
  if (file == nullptr) {
    ADD_FAILURE() << "the runtime cannot open " << path;
    return stored;
  }
  char text[512];
  char label[512];  // %s takes at most a whole line
  for (int line = 1; line <= 31; ++line) {
    // A file that ends early: the lines it lacks store nothing.
    if (crt.fgets(text, sizeof text, file) == nullptr) break;
    lines.emplace_back(text);
    const bool header = line == 2 || line == 10 || line == 15;
    if (header) continue;
    if (line == 1) {
      int value = 0;
      int begin = 0;
      int end = 0;
      const int scanned = crt.sscanf(text, "%s %n%d%n", label, &begin, &value, &end);
      if (scanned == 2 && std::strlen(label) <= 127) {
        const std::string_view integer(text + begin, static_cast<std::size_t>(end - begin));
        stored[kLiveReload] = std::bit_cast<std::uint32_t>(saturated(integer, value));
      }
      continue;
    }
    const char* format = "%s %f %f %f";
    std::size_t first = kSlots + 3 * static_cast<std::size_t>(line - 16);
    if (line <= 9) {
      format = "%s %f";
      first = kHostValues + static_cast<std::size_t>(line - 3);
    } else if (line <= 14) {
      format = "%s %f %f %f %f %f %f %f";
      first = kRows + 7 * static_cast<std::size_t>(line - 11);
    }
    std::array<float, 7> values{};
    const int scanned = crt.sscanf(text, format, label, &values[0], &values[1], &values[2],
                                   &values[3], &values[4], &values[5], &values[6]);
    if (scanned >= 2 && std::strlen(label) <= 127) {
      for (int k = 0; k + 1 < scanned; ++k) {
        stored[first + static_cast<std::size_t>(k)] = std::bit_cast<std::uint32_t>(values[static_cast<std::size_t>(k)]);
      }
    }
    // Right after line 14, the four rows go to the host's table.
    if (line == 14) std::copy_n(stored.begin() + kRows, 28, stored.begin() + kTable);
  }
  crt.fclose(file);
  return stored;
}

// Reading B: the plug-in's own load into the stand-in host, every target
// set beforehand to what reading A starts from.
Stored read_with_plugin() {
  const Stored start = untouched();
  aimcam::live_reload = kUntouchedReload;
  for (std::uintptr_t a : kLineTargets) standin::poke_value(a, kUntouched);
  for (std::size_t i = 0; i < 28; ++i) standin::poke_value(kAimTable + 4 * i, kUntouched);
  for (auto& row : aimcam::camera_rows) row.fill(std::bit_cast<float>(kUntouched));
  for (auto& slot : aimcam::weapon_offsets) slot.fill(std::bit_cast<float>(kUntouched));

  aimcam::load_aim_settings();

  Stored stored = start;
  stored[kLiveReload] = std::bit_cast<std::uint32_t>(aimcam::live_reload);
  for (std::size_t i = 0; i < 7; ++i) {
    stored[kHostValues + i] = standin::peek<std::uint32_t>(kLineTargets[i]);
  }
  for (std::size_t i = 0; i < 28; ++i) {
    stored[kRows + i] = std::bit_cast<std::uint32_t>(aimcam::camera_rows[i / 7][i % 7]);
    stored[kTable + i] = standin::peek<std::uint32_t>(kAimTable + 4 * i);
  }
  for (std::size_t i = 0; i < 48; ++i) {
    stored[kSlots + i] = std::bit_cast<std::uint32_t>(aimcam::weapon_offsets[i / 3][i % 3]);
  }
  return stored;
}

class RuntimeReading : public testing::TestWithParam<std::uint64_t> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(runtime_.complete()) << "msvcrt.dll or one of its functions is missing";
    ASSERT_EQ(*runtime_.file_mode & kRuntimeBinaryMode, 0) << "\"r\" would not open in text mode";
    ASSERT_NE(runtime_.setlocale(kRuntimeAllCategories, "C"), nullptr);
    folder_ = std::filesystem::temp_directory_path().string() + "runtime reading " +
              std::to_string(GetCurrentProcessId()) + "\\";
    std::filesystem::create_directories(folder_);
    module_path_ = folder_ + "aimcam.dll";
    os_.module_file_name_result = module_path_.c_str();
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // Keeps a file that read differently beside the tests, for a closer look.
  std::string keep(std::uint64_t seed, int file, const std::string& bytes) {
    const std::string folder = testing_paths::beside_tests("runtime_reading_differences\\");
    std::filesystem::create_directories(folder);
    const std::string path = folder + "seed_" + std::to_string(seed) + "_file_" + std::to_string(file) + ".dat";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  Runtime runtime_;
  testing_os::OsFake os_;
  std::string folder_;
  std::string module_path_;
};

TEST_P(RuntimeReading, ThePluginStoresWhatTheRuntimeStores) {
  const std::uint64_t seed = GetParam();
  const std::string path = folder_ + "aimingSets.dat";
  int differing_files = 0;
  for (int file = 0; file < kFilesPerSeed; ++file) {
    const std::string bytes = settings_files::settings_file(seed, file);
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out << bytes;
      ASSERT_TRUE(out.good()) << "cannot write " << path;
    }
    std::vector<std::string> lines;
    const Stored runtime = read_with_runtime(runtime_, path, lines);
    const Stored plugin = read_with_plugin();
    if (runtime == plugin) continue;

    // Every file that reads differently is kept beside the tests; the first
    // ten are reported, each with up to four of the values that differ.
    const std::string kept = keep(seed, file, bytes);
    if (++differing_files > 10) continue;
    int shown = 0;
    for (std::size_t i = 0; i < kStoredCount && shown < 4; ++i) {
      if (runtime[i] == plugin[i]) continue;
      ++shown;
      int line = 0;
      const std::string what = describe(i, line);
      const auto read = static_cast<std::size_t>(line) <= lines.size();
      ADD_FAILURE() << "seed " << seed << ", file " << file << ", line " << line << ", " << what
                    << ": the runtime stored " << show_value(i, runtime[i]) << ", the plug-in "
                    << show_value(i, plugin[i]) << "\n  "
                    << (read ? "the runtime read line " + std::to_string(line) + " as \"" +
                                   printable(lines[static_cast<std::size_t>(line - 1)]) + "\""
                             : "the file ended for the runtime before line " + std::to_string(line))
                    << "\n  the file is kept as " << kept;
    }
  }
  EXPECT_EQ(differing_files, 0) << "files of seed " << seed << " that read differently";
}

INSTANTIATE_TEST_SUITE_P(Seeds, RuntimeReading, testing::Range(kFirstSeed, kEndSeed),
                         [](const testing::TestParamInfo<std::uint64_t>& i) {
                           return "seed_" + std::to_string(i.param);
                         });

// What a file holds, for the check that the generated files cover all of it.
struct Contents {
  const char* name;
  int files = 0;
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The fields of a line as the scan splits it: runs of non-white characters,
// up to a NUL.
std::vector<std::string_view> fields(std::string_view line) {
  line = line.substr(0, line.find('\0'));
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    const std::size_t begin = i;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i > begin) out.push_back(line.substr(begin, i - begin));
  }
  return out;
}

// The kinds of number text a field is or starts with, as flags.
enum NumberKind : unsigned {
  kNotANumber = 1,
  kPartial = 2,
  kLeadingPoint = 4,
  kTrailingPoint = 8,
  kExponent = 16,
  kLongMantissa = 32,
  kOverflow = 64,
  kUnderflow = 128,
  kDenormal = 256,
  kSigned = 512,
};

unsigned number_kind(std::string_view field) {
  std::size_t i = 0;
  unsigned kind = 0;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
    kind |= kSigned;
    ++i;
  }
  const std::size_t mantissa = i;
  std::size_t digit_count = 0;
  while (i < field.size() && (is_digit(field[i]) || field[i] == '.')) digit_count += is_digit(field[i++]);
  if (digit_count == 0) return kNotANumber;
  const std::string_view digits = field.substr(mantissa, i - mantissa);
  if (digits.front() == '.') kind |= kLeadingPoint;
  if (digits.back() == '.') kind |= kTrailingPoint;
  if (digit_count >= 30) kind |= kLongMantissa;
  std::string text(field.substr(0, i));
  if (i < field.size() && std::string_view("eEdD").find(field[i]) != std::string_view::npos) {
    kind |= kExponent;
    text += 'e';
    ++i;
    while (i < field.size() && (is_digit(field[i]) || field[i] == '+' || field[i] == '-')) text += field[i++];
  }
  if (i < field.size()) kind |= kPartial;
  const double value = std::strtod(text.c_str(), nullptr);
  const float narrowed = static_cast<float>(value);
  if (std::isinf(narrowed)) kind |= kOverflow;
  if (narrowed == 0 && value != 0) kind |= kUnderflow;
  if (std::fpclassify(narrowed) == FP_SUBNORMAL) kind |= kDenormal;
  return kind;
}

constexpr std::pair<char, const char*> kSpaceNames[] = {
    {' ', "a space"}, {'\t', "a tab"}, {'\v', "a \\v"}, {'\f', "a \\f"}, {'\r', "a CR inside a line"}};

TEST(GeneratedSettingsFiles, HoldEveryKindOfContent) {
  std::vector<Contents> contents;
  const auto count = [&contents](const char* name, bool present) {
    auto it = std::find_if(contents.begin(), contents.end(),
                           [name](const Contents& c) { return std::strcmp(c.name, name) == 0; });
    if (it == contents.end()) it = contents.insert(contents.end(), Contents{name});
    if (present) ++it->files;
  };
  for (std::uint64_t seed = kFirstSeed; seed < kEndSeed; ++seed) {
    for (int file = 0; file < kFilesPerSeed; ++file) {
      const std::string bytes = settings_files::settings_file(seed, file);
      const auto lines = settings_files::text_mode_lines(bytes);
      count("a Ctrl-Z", bytes.find('\x1A') != std::string::npos);
      count("a NUL", bytes.find('\0') != std::string::npos);
      bool ends[4] = {};  // LF, CR LF, CR CR LF, lone CR
      for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
          const bool cr = i >= 1 && bytes[i - 1] == '\r';
          ends[cr ? (i >= 2 && bytes[i - 2] == '\r' ? 2 : 1) : 0] = true;
        } else if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] != '\r' && bytes[i + 1] != '\n') {
          ends[3] = true;
        }
      }
      count("LF", ends[0]);
      count("CR LF", ends[1]);
      count("CR CR LF", ends[2]);
      count("a lone CR", ends[3]);
      count("a line over 511 characters",
            std::any_of(lines.begin(), lines.end(), [](const std::string& l) { return l.size() == 511; }));
      count("fewer than 31 lines", lines.size() < 31);
      unsigned kinds = 0;
      bool number_label = false;
      bool long_label = false;
      std::string white;  // the white-space characters inside lines
      for (std::size_t i = 0; i < lines.size() && i < 31; ++i) {
        const auto line_fields = fields(lines[i]);
        for (char c : lines[i]) {
          if (std::isspace(static_cast<unsigned char>(c)) && white.find(c) == std::string::npos) white += c;
        }
        if (line_fields.empty() || i == 0 || i == 1 || i == 9 || i == 14) continue;
        number_label |= (number_kind(line_fields[0]) & (kNotANumber | kPartial)) == 0;
        long_label |= line_fields[0].size() > 127;
        for (std::size_t f = 1; f < line_fields.size(); ++f) kinds |= number_kind(line_fields[f]);
      }
      count("a number where a label goes", number_label);
      count("a label over 127 characters", long_label);
      for (const auto& [space, name] : kSpaceNames) count(name, white.find(space) != std::string::npos);
      count("a word where a number goes", kinds & kNotANumber);
      count("a partial number", kinds & kPartial);
      count("a sign", kinds & kSigned);
      count("a leading point", kinds & kLeadingPoint);
      count("a trailing point", kinds & kTrailingPoint);
      count("an exponent", kinds & kExponent);
      count("a 30-digit mantissa", kinds & kLongMantissa);
      count("a number that overflows to infinity", kinds & kOverflow);
      count("a number that underflows to zero", kinds & kUnderflow);
      count("a denormal", kinds & kDenormal);
    }
  }
  for (const Contents& c : contents) EXPECT_GE(c.files, 20) << "files with " << c.name;
}

}  // namespace
