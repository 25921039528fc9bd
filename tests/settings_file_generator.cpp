#include "tests/settings_file_generator.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

namespace settings_files {

std::uint64_t Random::next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

namespace {

constexpr char kCtrlZ = '\x1A';
// What the scan skips between fields, but for the line feed, which ends lines.
constexpr std::string_view kWhiteSpace = " \t\v\f\r";
constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

std::string digits(Random& r, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += static_cast<char>('0' + r.below(10));
  return text;
}

std::string white_space(Random& r, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += r.pick(kWhiteSpace);
  return text;
}

std::string separator(Random& r) { return r.percent(75) ? std::string(" ") : white_space(r, r.between(1, 4)); }

std::string sign(Random& r) {
  switch (r.below(6)) {
    case 0:
      return "-";
    case 1:
      return "+";
    default:
      return "";
  }
}

// An exponent with at least one digit and, when negative, at most nine (see
// has_disputed_number).
std::string exponent(Random& r) {
  std::string text(1, r.pick("eEeEeEdD"));
  const std::string exponent_sign = sign(r);
  text += exponent_sign;
  const int most = exponent_sign == "-" ? 9 : 12;
  text += r.percent(85) ? digits(r, r.between(1, 3)) : digits(r, r.between(4, most));
  return text;
}

float random_finite_float(Random& r, bool denormal) {
  for (;;) {
    auto bits = static_cast<std::uint32_t>(r.next());
    if (denormal) bits &= 0x807FFFFFu;
    const float value = std::bit_cast<float>(bits);
    if (std::isfinite(value)) return std::fabs(value);
  }
}

// The shortest text that reads back as a random float, normal or denormal.
std::string float_text(Random& r) {
  char text[48];
  const auto result = std::to_chars(text, text + sizeof text, random_finite_float(r, r.percent(20)));
  return std::string(text, result.ptr);
}

// 30 significant digits at or right beside the point halfway between two
// neighbouring floats, where rounding once or twice makes a difference.
std::string halfway_text(Random& r) {
  float low = random_finite_float(r, r.percent(15));
  if (low == std::numeric_limits<float>::max()) low = 1.0f;
  const double halfway =
      (static_cast<double>(low) + static_cast<double>(std::nextafter(low, INFINITY))) / 2;
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, halfway, std::chars_format::scientific, 29);
  std::string out(text, result.ptr);
  const std::size_t last_digit = out.find('e') - 1;
  char& digit = out[last_digit];
  switch (r.below(3)) {
    case 0:
      if (digit < '9') ++digit;
      break;
    case 1:
      if (digit > '0') --digit;
      break;
    default:
      break;
  }
  return out;
}

// Numbers a float cannot hold: infinity or zero, either way.
std::string out_of_range_text(Random& r) {
  static constexpr std::array<std::string_view, 16> kTexts = {
      "1e39",        "3.4028236e38",  "3.4028235e38", "1e400",       "1e99999", "1e2147483648",
      "1e-50",       "1e-46",         "7e-46",        "1.5e-45",     "1e-400",  "1e-99999",
      "0.000001e-40", "1000000e-51",  "0e99999",      "1e4294967297"};
  switch (r.below(4)) {
    case 0:
      return std::string(kTexts[r.below(kTexts.size())]);
    case 1:
      return std::string(static_cast<std::size_t>(r.between(39, 60)), '9');
    case 2:
      return std::string("0.").append(static_cast<std::size_t>(r.between(45, 80)), '0') + digits(r, 3);
    default:
      return digits(r, r.between(1, 4)) + r.pick("eE") + (r.percent(50) ? "-" : "") +
             std::to_string(r.between(39, 400));
  }
}

// Decimal text without a sign, of every shape the scan takes.
std::string unsigned_number(Random& r) {
  std::string text;
  switch (r.below(10)) {
    case 0:
      text = std::to_string(r.below(1000));
      break;
    case 1:
      text = digits(r, r.between(1, 4)) + "." + digits(r, r.between(1, 4));
      break;
    case 2:
      text = std::string(".").append(digits(r, r.between(1, 6)));
      break;
    case 3:
      text = digits(r, r.between(1, 4)) + ".";
      break;
    case 4:
      text = std::string(static_cast<std::size_t>(r.between(1, 6)), '0') + digits(r, 2) + "." +
             digits(r, 2);
      break;
    case 5: {
      // A long mantissa, up to 30 digits, its point anywhere or nowhere.
      const int total = r.between(15, 30);
      const int point = r.between(0, total + 1);
      text = digits(r, point <= total ? point : total);
      if (point <= total) text.append(".").append(digits(r, total - point));
      break;
    }
    case 6:
      return float_text(r);
    case 7:
      return halfway_text(r);
    case 8:
      return out_of_range_text(r);
    default:
      return r.percent(50) ? std::string("0") : std::string("0.").append(static_cast<std::size_t>(r.between(1, 5)), '0');
  }
  if (r.percent(30)) text += exponent(r);
  return text;
}

// Text that is no number at all where a number goes.
std::string word(Random& r) {
  static constexpr std::array<std::string_view, 24> kWords = {
      "x",   "abc", "inf", "-inf", "nan", "NaN",  "infinity", "on",     "-",     "+",    ".",    "-.",
      "+.",  "+-1", "--2", "e5",   "D2",  "#",    "//",       "(1.5)",  "three", "\xA0" "1", "\xFF", "\x85" "2"};
  if (r.percent(70)) return std::string(kWords[r.below(kWords.size())]);
  std::string text;
  for (int i = r.between(1, 8); i > 0; --i) text += r.pick(kLetters);
  return text;
}

// Text stuck to the end of a number, starting with no exponent marker.
std::string junk(Random& r) {
  static constexpr std::array<std::string_view, 14> kJunk = {
      ",5", ",25", "abc", "x", "#", "..5", ".5", "-2", "+3", "%", "f", "/2", "_000", "x10"};
  return std::string(kJunk[r.below(kJunk.size())]);
}

std::string float_field(Random& r) {
  const std::uint32_t kind = r.below(100);
  if (kind < 82) return sign(r) + unsigned_number(r);
  if (kind < 90) return word(r);
  return sign(r) + unsigned_number(r) + junk(r);
}

std::string integer_field(Random& r) {
  static constexpr std::array<std::string_view, 12> kLimits = {
      "2147483647", "2147483648", "-2147483648", "-2147483649", "4294967295", "4294967296",
      "4294967297", "-4294967297", "9223372036854775808", "18446744073709551615",
      "18446744073709551616", "-99999999999999999999"};
  const std::uint32_t kind = r.below(100);
  if (kind < 40) return sign(r) + std::to_string(r.below(1000));
  if (kind < 55) return std::string(kLimits[r.below(kLimits.size())]);
  if (kind < 65) return sign(r) + digits(r, r.between(10, 40));
  if (kind < 72) return std::string(static_cast<std::size_t>(r.between(5, 30)), '0') + digits(r, 2);
  if (kind < 85) return sign(r) + unsigned_number(r);
  if (kind < 93) return word(r);
  return sign(r) + std::to_string(r.below(100)) + junk(r);
}

std::string label(Random& r) {
  const std::uint32_t kind = r.below(100);
  std::string text;
  if (kind < 60) {
    // A name, its digits (if any) at the end.
    for (int i = r.between(1, 14); i > 0; --i) text += r.pick(kLetters);
    if (r.percent(50)) text += std::to_string(r.below(40));
  } else if (kind < 70) {
    text = sign(r) + unsigned_number(r);  // a number where the label goes
  } else if (kind < 78) {
    for (int i = r.between(118, 140); i > 0; --i) text += r.pick(kLetters);  // around 127
  } else if (kind < 83) {
    for (int i = r.between(1, 10); i > 0; --i) {
      text += r.percent(50) ? static_cast<char>(0x80 + r.below(0x80)) : r.pick(kLetters);
    }
  } else if (kind < 90) {
    static constexpr std::array<std::string_view, 6> kMarks = {"#", "//", "[x]", "a=b", "1,5", "-"};
    text = std::string(kMarks[r.below(kMarks.size())]);
  }
  // Otherwise no label: the line starts with what would be its first value.
  return text;
}

bool is_header(int line) { return line == 2 || line == 10 || line == 15; }

int values_of(int line) {
  if (line == 1 || (line >= 3 && line <= 9)) return 1;
  if (line >= 11 && line <= 14) return 7;
  return 3;
}

// Pads a line past 511 characters, so that it is read in pieces.
std::string long_filler(Random& r) {
  const auto length = static_cast<std::size_t>(r.between(300, 700));
  switch (r.below(4)) {
    case 0:
      return std::string(length, ' ');
    case 1:
      return white_space(r, static_cast<int>(length));
    case 2:
      return std::string(" ").append(digits(r, static_cast<int>(length)));
    default: {
      std::string text = " ";
      while (text.size() < length) text += sign(r) + unsigned_number(r) + separator(r);
      return text;
    }
  }
}

std::string value_line(Random& r, int line) {
  std::string text;
  if (r.percent(15)) text += white_space(r, r.between(1, 3));
  text += label(r);
  const int expected = values_of(line);
  int count = expected;
  const std::uint32_t shape = r.below(100);
  if (shape >= 75 && shape < 87) {
    count = r.between(0, expected - 1);
  } else if (shape >= 87 && shape < 97) {
    count = expected + r.between(1, 3);
  } else if (shape >= 97) {
    count = 0;
  }
  const int long_at = r.percent(4) ? r.between(0, count) : -1;
  for (int i = 0; i < count; ++i) {
    if (i == long_at) text += long_filler(r);
    text += separator(r);
    text += line == 1 ? integer_field(r) : float_field(r);
  }
  if (long_at == count) text += long_filler(r);
  if (r.percent(10)) text += separator(r) + (r.percent(50) ? "# a note" : word(r));
  if (r.percent(10)) text += white_space(r, r.between(1, 3));
  return text;
}

std::string header_line(Random& r) {
  std::string text;
  for (int i = r.between(0, 4); i > 0; --i) {
    text += r.percent(50) ? word(r) : sign(r) + unsigned_number(r);
    text += separator(r);
  }
  if (r.percent(3)) text += long_filler(r);
  return text;
}

std::string line_end(Random& r, int style) {
  static constexpr std::array<std::string_view, 4> kEnds = {"\n", "\r\n", "\r\r\n", "\r"};
  if (style < 4) return std::string(kEnds[static_cast<std::size_t>(style)]);
  // Mixed: mostly whole line ends, now and then a lone CR.
  const std::uint32_t pick = r.below(10);
  return std::string(kEnds[pick < 4 ? 0 : pick < 7 ? 1 : pick < 9 ? 2 : 3]);
}

// Where a Ctrl-Z goes: anywhere, at the start of a line, after a CR, or last.
std::size_t ctrl_z_position(Random& r, const std::string& bytes) {
  const std::size_t anywhere = r.below(static_cast<std::uint32_t>(bytes.size() + 1));
  const char wanted = r.percent(50) ? '\n' : '\r';
  switch (r.below(4)) {
    case 0: {
      const std::size_t after = bytes.find(wanted, anywhere);
      return after == std::string::npos ? bytes.size() : after + 1;
    }
    case 1:
      return bytes.size();
    default:
      return anywhere;
  }
}

std::string draw_file(Random& r) {
  int lines = 31;
  if (r.percent(6)) {
    lines = r.between(0, 30);
  } else if (r.percent(8)) {
    lines = 31 + r.between(1, 4);
  }
  const std::uint32_t style_pick = r.below(100);
  const int style = style_pick < 40 ? 0 : style_pick < 65 ? 1 : style_pick < 75 ? 2 : style_pick < 80 ? 3 : 4;
  std::string bytes;
  for (int line = 1; line <= lines; ++line) {
    bytes += is_header(line) ? header_line(r) : value_line(r, line > 31 ? 31 : line);
    if (line < lines || r.percent(85)) bytes += line_end(r, style);
  }
  if (r.percent(6)) {
    for (int i = r.between(1, 3); i > 0; --i) {
      bytes.insert(r.below(static_cast<std::uint32_t>(bytes.size() + 1)), 1, '\0');
    }
  }
  if (r.percent(10)) {
    bytes.insert(ctrl_z_position(r, bytes), 1, kCtrlZ);
    if (r.percent(20)) bytes.insert(r.below(static_cast<std::uint32_t>(bytes.size() + 1)), 1, kCtrlZ);
  }
  if (r.percent(6)) bytes.resize(r.below(static_cast<std::uint32_t>(bytes.size() + 1)));
  return bytes;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Whether a line of floats holds a number that runtimes read differently:
// - one that ends in an exponent marker without digits ("1e", "5.D+"), which a
//   line split, a NUL, a Ctrl-Z or a cut can make of a whole number;
// - one with a negative exponent of ten digits or more: the runtime under Wine
//   adds it up in 32 bits, and past -2^31 it wraps into a huge positive one
//   (".06e-2147483647" reads as infinity there, as zero everywhere else).
bool has_disputed_number(std::string_view line) {
  line = line.substr(0, line.find('\0'));
  for (std::size_t i = 1; i < line.size(); ++i) {
    const std::string_view markers = "eEdD";
    if (markers.find(line[i]) == std::string_view::npos) continue;
    const bool after_number =
        is_digit(line[i - 1]) || (line[i - 1] == '.' && i >= 2 && is_digit(line[i - 2]));
    if (!after_number) continue;
    std::size_t next = i + 1;
    const bool negative = next < line.size() && line[next] == '-';
    if (next < line.size() && (line[next] == '+' || line[next] == '-')) ++next;
    if (next >= line.size() || !is_digit(line[next])) return true;
    while (next < line.size() && line[next] == '0') ++next;
    std::size_t digit_count = 0;
    while (next + digit_count < line.size() && is_digit(line[next + digit_count])) ++digit_count;
    if (negative && digit_count >= 10) return true;
  }
  return false;
}

bool reads_as_intended(std::string_view bytes) {
  const std::vector<std::string> lines = text_mode_lines(bytes);
  for (std::size_t i = 0; i < lines.size() && i < 31; ++i) {
    const int line = static_cast<int>(i) + 1;
    if (line != 1 && !is_header(line) && has_disputed_number(lines[i])) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> text_mode_lines(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find(kCtrlZ));
  std::vector<std::string> lines;
  std::string line;
  bool open = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char c = bytes[i];
    if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') c = bytes[++i];
    open = true;
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
      open = false;
      continue;
    }
    line += c;
    if (line.size() == 511) {
      lines.push_back(line);
      line.clear();
      open = false;
    }
  }
  if (open) lines.push_back(line);
  return lines;
}

std::string settings_file(std::uint64_t seed, int index) {
  for (std::uint64_t attempt = 0;; ++attempt) {
    Random r((seed << 40) ^ (static_cast<std::uint64_t>(index) << 8) ^ attempt);
    std::string bytes = draw_file(r);
    if (reads_as_intended(bytes)) return bytes;
  }
}

}  // namespace settings_files
