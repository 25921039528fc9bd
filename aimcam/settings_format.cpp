// Reading "aimingSets.dat": bounded text-mode line reads and a scanner that
// takes each line's values the way a formatted scan of "%s %d" or "%s %f ..."
// over the line would, with three deliberate differences: integers saturate
// instead of wrapping, over-long labels make the line store nothing instead of
// overrunning a buffer, and numbers always use '.' whatever the locale.
#include "aimcam/settings_format.hpp"

#include "shared/host_interface.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace aimcam {

namespace {

constexpr LineSpec header_line(int line) { return {line, Target::Header, 0, 0, 0}; }

constexpr LineSpec host_line(int line, std::uint32_t address) {
  return {line, Target::HostValue, 1, 0, address};
}

constexpr std::array<LineSpec, kSettingsLineCount> build_layout() {
  std::array<LineSpec, kSettingsLineCount> layout{};
  layout[0] = {1, Target::LiveReload, 1, 0, 0};
  layout[1] = header_line(2);
  layout[2] = host_line(3, host::kAimValue8CC4B4);
  layout[3] = host_line(4, host::kAimValue8CC4B8);
  layout[4] = {5, Target::CodeConstant, 1, 0, host::kAimCodeConstant};
  layout[5] = host_line(6, host::kAimValue8CC4B0);
  layout[6] = host_line(7, host::kAimValue8CC4AC);
  layout[7] = host_line(8, host::kAimValue8CC4A8);
  layout[8] = host_line(9, host::kAimValue8CC4A0);
  layout[9] = header_line(10);
  for (int row = 0; row < 4; ++row) {
    layout[static_cast<std::size_t>(10 + row)] = {11 + row, Target::CameraRow, 7, row, 0};
  }
  layout[14] = header_line(15);
  for (int slot = 0; slot < 16; ++slot) {
    layout[static_cast<std::size_t>(15 + slot)] = {16 + slot, Target::WeaponSlot, 3, slot, 0};
  }
  return layout;
}

constexpr bool layout_is_in_file_order(const std::array<LineSpec, kSettingsLineCount>& layout) {
  for (std::size_t i = 0; i < layout.size(); ++i) {
    if (layout[i].line != static_cast<int>(i) + 1) return false;
  }
  return true;
}

static_assert(layout_is_in_file_order(build_layout()));

// 31 reads take at most 510 characters and a CR LF pair each; a read also
// looks one byte past a CR. The plug-in's bounded buffer must hold all that
// for its lines to match those of the whole file.
static_assert(kMaxSettingsBytes >= kSettingsLineCount * (kMaxPieceLength + 1) + 1);

constexpr bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The runtime's scan takes 'd' and 'D' for an exponent too: "1d3" is 1000.
constexpr bool is_exponent_marker(char c) { return c == 'e' || c == 'E' || c == 'd' || c == 'D'; }

std::size_t skip_space(std::string_view text, std::size_t pos) {
  while (pos < text.size() && is_space(text[pos])) ++pos;
  return pos;
}

std::size_t skip_digits(std::string_view text, std::size_t pos) {
  while (pos < text.size() && is_digit(text[pos])) ++pos;
  return pos;
}

// An optional sign and decimal digits at `pos`. Out-of-range values clamp to
// the nearest 32-bit limit rather than wrapping into a wrong-signed value.
bool scan_integer(std::string_view text, std::size_t& pos, std::int32_t& value, bool& saturated) {
  std::size_t i = pos;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i >= text.size() || !is_digit(text[i])) return false;

  const std::int64_t limit = negative ? -std::int64_t{std::numeric_limits<std::int32_t>::min()}
                                      : std::int64_t{std::numeric_limits<std::int32_t>::max()};
  std::int64_t magnitude = 0;
  bool clamped = false;
  for (; i < text.size() && is_digit(text[i]); ++i) {
    if (clamped) continue;  // keep consuming the digits of the number
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > limit) clamped = true;
  }
  if (clamped) magnitude = limit;
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  saturated = clamped;
  pos = i;
  return true;
}

// Decimal exponent of the leading significant digit of digits[0..] with the
// point after `integer_digits` and a written exponent of `exponent`; the
// digits hold at least one that is not 0.
std::int64_t leading_exponent(std::string_view digits, std::size_t integer_digits,
                              std::int64_t exponent) {
  std::int64_t position = static_cast<std::int64_t>(integer_digits) - 1;
  for (char c : digits) {
    if (c == '.') continue;
    if (c != '0') break;
    --position;
  }
  return position + exponent;
}

// Decimal floating-point text at `pos`: optional sign, digits with an optional
// point and fraction (at least one digit in all), optional exponent. Takes the
// longest prefix of that shape, so "1e" reads as 1 and leaves the 'e'. The
// text is rounded to the nearest double and that to the nearest float, as the
// C runtime's "%f" rounds it: straight to a float, it would now and then give
// the neighbouring float. `text` is no longer than a line read yields.
bool scan_float(std::string_view text, std::size_t& pos, float& value) {
  std::size_t i = pos;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t mantissa_begin = i;
  const std::size_t integer_end = skip_digits(text, i);
  std::size_t mantissa_end = integer_end;
  if (mantissa_end < text.size() && text[mantissa_end] == '.') {
    mantissa_end = skip_digits(text, mantissa_end + 1);
  }
  const std::size_t integer_digits = integer_end - mantissa_begin;
  const bool has_point = mantissa_end > integer_end;
  const std::size_t fraction_digits = has_point ? mantissa_end - integer_end - 1 : 0;
  if (integer_digits + fraction_digits == 0) return false;

  std::size_t number_end = mantissa_end;
  std::int64_t exponent = 0;
  bool has_exponent = false;
  if (number_end < text.size() && is_exponent_marker(text[number_end])) {
    std::size_t j = number_end + 1;
    bool exponent_negative = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
      exponent_negative = text[j] == '-';
      ++j;
    }
    if (j < text.size() && is_digit(text[j])) {
      for (; j < text.size() && is_digit(text[j]); ++j) {
        // Far past any double's range; only the sign of the result matters then.
        if (exponent < 100000) exponent = exponent * 10 + (text[j] - '0');
      }
      if (exponent_negative) exponent = -exponent;
      has_exponent = true;
      number_end = j;
    }
  }

  // The converter takes neither a leading '+' nor a 'd' marker: it gets a
  // copy of the number without the '+' and with 'e' for its marker.
  std::array<char, kLineBufferSize> number;
  const std::size_t from = negative ? pos : mantissa_begin;
  const std::size_t length = number_end - from;
  if (length > number.size()) return false;  // cannot happen: no line read is that long
  std::copy_n(text.data() + from, length, number.data());
  if (has_exponent) number[mantissa_end - from] = 'e';
  const char* first = number.data();
  const char* last = number.data() + length;
  double parsed = 0.0;
  const auto [ptr, ec] = std::from_chars(first, last, parsed, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: infinity or zero, as a C library
    // conversion gives. Only nonzero digits can be out of range.
    const auto mantissa = text.substr(mantissa_begin, mantissa_end - mantissa_begin);
    const bool overflow = leading_exponent(mantissa, integer_digits, exponent) >= 0;
    parsed = overflow ? std::numeric_limits<double>::infinity() : 0.0;
    if (negative) parsed = -parsed;
  } else if (ec != std::errc{} || ptr != last) {
    return false;  // cannot happen for text of the shape checked above
  }
  // Past the largest float this rounds to infinity, below the smallest
  // denormal to zero.
  value = static_cast<float>(parsed);
  pos = number_end;
  return true;
}

}  // namespace

const std::array<LineSpec, kSettingsLineCount> kSettingsLayout = build_layout();

bool LineReader::next(std::string_view& piece) {
  if (rest_.empty()) return false;
  std::size_t length = 0;  // characters stored, line feed included
  std::size_t used = 0;    // bytes consumed
  bool line_feed = false;
  while (length < kMaxPieceLength && used < rest_.size()) {
    char c = rest_[used++];
    if (c == '\r' && used < rest_.size() && rest_[used] == '\n') {
      c = '\n';  // text mode: CR LF reads as LF, a lone CR stays
      ++used;
    }
    buffer_[length++] = c;
    if (c == '\n') {
      line_feed = true;
      break;
    }
  }
  rest_.remove_prefix(used);
  piece = std::string_view(buffer_.data(), line_feed ? length - 1 : length);
  return true;
}

LineScan scan_line(const LineSpec& format, std::string_view piece) {
  LineScan scan;
  if (format.target == Target::Header) return scan;

  // A NUL ends the text, as it would end a C string scan; a line read yields
  // no more than kMaxPieceLength characters.
  const std::string_view text = piece.substr(0, std::min(piece.find('\0'), kMaxPieceLength));

  const std::size_t label_begin = skip_space(text, 0);
  std::size_t pos = label_begin;
  while (pos < text.size() && !is_space(text[pos])) ++pos;
  scan.label = text.substr(label_begin, pos - label_begin);
  scan.end = pos;
  if (scan.label.empty()) return scan;
  if (scan.label.size() > kMaxLabelLength) {
    scan.label_too_long = true;
    return scan;
  }

  // A hand-made format asking for more values than a scan holds gets no more.
  const int wanted = std::min(format.expected, static_cast<int>(scan.floats.size()));
  for (int k = 0; k < wanted; ++k) {
    std::size_t at = skip_space(text, pos);
    const bool converted =
        format.target == Target::LiveReload
            ? scan_integer(text, at, scan.integer, scan.integer_saturated)
            : scan_float(text, at, scan.floats[static_cast<std::size_t>(k)]);
    if (!converted) break;
    pos = at;
    scan.end = pos;
    ++scan.converted;
  }
  return scan;
}

int read_settings(std::string_view file_bytes, SettingsSink& sink) {
  LineReader reader(file_bytes);
  int lines = 0;
  for (const LineSpec& format : kSettingsLayout) {
    std::string_view piece;
    if (!reader.next(piece)) break;
    ++lines;
    sink.on_line(format, piece, scan_line(format, piece));
    // The last camera row: the table is complete (as far as the file has it).
    if (format.target == Target::CameraRow && format.index == 3) sink.on_camera_rows_done();
  }
  return lines;
}

}  // namespace aimcam
