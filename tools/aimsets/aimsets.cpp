// aimsets: tells a modder what the aim camera plug-in will make of a settings
// file, line by line: what it stores, what it ignores and why. It reads the
// file with the plug-in's own reader, so the two cannot disagree.
//
// Exit status: 0 when everything is stored as written, 1 when anything is
// ignored, changed or missing, 2 when the file cannot be read.
#include "aimcam/settings_format.hpp"
#include "aimcam/weapon_slots.hpp"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

using namespace aimcam;

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view first_word(std::string_view text) {
  text = trim(text);
  std::size_t length = 0;
  while (length < text.size() && !is_space(text[length])) ++length;
  return text.substr(0, length);
}

// Text for a message, in quotes: control bytes as \xHH, long text cut short.
std::string quote(std::string_view text) {
  constexpr std::size_t kShown = 40;
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size() && i < kShown; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      if (c == '"' || c == '\\') out += '\\';
      out += static_cast<char>(c);
    }
  }
  if (text.size() > kShown) out += "...";
  return out + "\"";
}

// The shortest text that reads back as the same float.
std::string show(float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// The weapon types that take their offset from `slot`.
std::string slot_users(int slot) {
  std::string types;
  int count = 0;
  for (std::size_t i = 0; i < kSlotOfType.size(); ++i) {
    const std::int32_t type = kFirstAimedType + static_cast<std::int32_t>(i);
    if (weapon_slot(type) != slot) continue;
    if (count++ > 0) types += ", ";
    types += std::to_string(type);
  }
  if (count == 0) return "no weapon type uses it";
  return (count == 1 ? "weapon type " : "weapon types ") + types;
}

std::string what_it_sets(const LineSpec& format) {
  char text[64];
  switch (format.target) {
    case Target::LiveReload:
      return "live reload";
    case Target::HostValue:
      std::snprintf(text, sizeof text, "host value at 0x%06X", static_cast<unsigned>(format.host_address));
      return text;
    case Target::CodeConstant:
      std::snprintf(text, sizeof text, "aim code constant (host code at 0x%06X)",
                    static_cast<unsigned>(format.host_address));
      return text;
    case Target::CameraRow:
      return "camera row " + std::to_string(format.index);
    case Target::WeaponSlot:
      return "weapon offset slot " + std::to_string(format.index) + " (" + slot_users(format.index) + ")";
    case Target::Header:
      break;
  }
  return "header";
}

constexpr char kEndOfFileMessage[] = "a Ctrl-Z (byte 0x1A) ends the file here: the game reads nothing after it";

// The line a Ctrl-Z falls on: the line an ordinary character in its place
// would be read on. 0 when the bytes hold none.
int end_of_file_mark_line(std::string_view bytes) {
  const std::size_t mark = bytes.find(kEndOfFileMark);
  if (mark == std::string_view::npos) return 0;
  const std::string before = std::string(bytes.substr(0, mark)) + ' ';
  LineReader reader(before);
  std::string_view piece;
  int line = 0;
  while (line <= kSettingsLineCount && reader.next(piece)) ++line;
  return line;
}

// A number stored from the digits before a decimal comma, as in "3,5": the
// text "3,5", or empty when the last number stored is not followed by one.
std::string_view decimal_comma_number(const LineSpec& format, std::string_view text, const LineScan& scan) {
  if (format.target == Target::LiveReload || scan.converted == 0) return {};
  // Where the last number stored starts: after what one value less takes.
  LineSpec fewer = format;
  fewer.expected = scan.converted - 1;
  std::size_t begin = scan_line(fewer, text).end;
  while (begin < scan.end && is_space(text[begin])) ++begin;
  const std::string_view number = text.substr(begin, scan.end - begin);
  const bool has_sign = !number.empty() && (number.front() == '+' || number.front() == '-');
  const std::string_view unsigned_part = number.substr(has_sign ? 1 : 0);
  if (unsigned_part.empty() || unsigned_part.find_first_not_of("0123456789") != std::string_view::npos) {
    return {};  // a point or an exponent already: the comma is no decimal comma
  }
  std::size_t after = scan.end;
  if (after >= text.size() || text[after] != ',') return {};
  ++after;
  const std::size_t digits_begin = after;
  while (after < text.size() && text[after] >= '0' && text[after] <= '9') ++after;
  if (after == digits_begin || (after < text.size() && !is_space(text[after]))) return {};
  return text.substr(begin, after - begin);
}

class Report : public SettingsSink {
 public:
  int lines_with_problems = 0;
  int end_of_file_mark_line = 0;  // the line a Ctrl-Z falls on, 0 for none

  void on_line(const LineSpec& format, std::string_view piece, const LineScan& scan) override {
    line_ = format.line;
    bool problem = false;
    if (previous_piece_full_) {
      say("continues line " + std::to_string(line_ - 1) +
          ", which is longer than 511 characters; from here on every line is read one line late");
      problem = true;
    }
    previous_piece_full_ = piece.size() == kMaxPieceLength;

    if (format.target == Target::Header) {
      say("header, not parsed: " + quote(trim(piece)));
    } else {
      problem |= report_values(format, piece, scan);
    }
    const std::size_t nul = piece.find('\0');
    if (nul != std::string_view::npos) {
      say("holds a NUL byte; the text after it is ignored");
      problem = true;
    }
    if (line_ == end_of_file_mark_line) {
      say(kEndOfFileMessage);
      problem = true;
    }
    if (problem) ++lines_with_problems;
  }

  void on_camera_rows_done() override {}

 private:
  void say(const std::string& message) const { std::printf("line %d: %s\n", line_, message.c_str()); }

  // Prints what a value line stores; true when part of it is ignored or changed.
  bool report_values(const LineSpec& format, std::string_view piece, const LineScan& scan) const {
    const std::string_view text = piece.substr(0, piece.find('\0'));
    if (scan.label.empty()) {
      say("blank; nothing stored");
      return true;
    }
    if (scan.label_too_long) {
      say("label is longer than " + std::to_string(kMaxLabelLength) + " characters; nothing stored");
      return true;
    }
    const std::string_view unused = text.substr(scan.end);
    if (scan.converted == 0) {
      const std::string_view next = first_word(unused);
      if (next.empty()) {
        say("only the label " + quote(scan.label) + ", no number after it; nothing stored");
      } else {
        say("after the label " + quote(scan.label) + " comes " + quote(next) +
            ", which is not a number; nothing stored");
      }
      return true;
    }

    bool problem = false;
    std::string values;
    if (format.target == Target::LiveReload) {
      values = std::to_string(scan.integer);
    } else {
      for (int k = 0; k < scan.converted; ++k) {
        if (k > 0) values += ' ';
        values += show(scan.floats[static_cast<std::size_t>(k)]);
      }
    }
    say(what_it_sets(format) + " = " + values);

    if (scan.integer_saturated) {
      const std::size_t label_end = static_cast<std::size_t>(scan.label.data() - text.data()) + scan.label.size();
      say(std::string(trim(text.substr(label_end, scan.end - label_end))) +
          " is out of range; stored as " + std::to_string(scan.integer));
      problem = true;
    }
    for (int k = 0; k < scan.converted && format.target != Target::LiveReload; ++k) {
      const float value = scan.floats[static_cast<std::size_t>(k)];
      if (std::isinf(value)) {
        say((format.expected == 1 ? std::string("the number") : "number " + std::to_string(k + 1)) +
            " is too large for a float; stored as " + show(value));
        problem = true;
      }
    }

    if (scan.converted < format.expected) {
      const int kept = format.expected - scan.converted;
      const std::string_view next = first_word(unused);
      say("expected " + std::to_string(format.expected) + " numbers, found " +
          std::to_string(scan.converted) +
          (next.empty() ? std::string() : " (reading stopped at " + quote(next) + ")") +
          (kept == 1 ? "; the last one keeps its previous value"
                     : "; the last " + std::to_string(kept) + " keep their previous values"));
      problem = true;
    } else if (!trim(unused).empty()) {
      say(std::string("text after the ") + (format.expected == 1 ? "number" : "numbers") +
          " is ignored: " + quote(trim(unused)));
      problem = true;
    }
    const std::string_view comma = decimal_comma_number(format, text, scan);
    if (!comma.empty()) {
      std::string with_point(comma);
      with_point[with_point.find(',')] = '.';
      say(quote(comma) + " is stored as " + show(scan.floats[static_cast<std::size_t>(scan.converted - 1)]) +
          ": numbers take a decimal point, so write " + with_point);
    }
    return problem;
  }

  int line_ = 0;
  bool previous_piece_full_ = false;
};

// Whether anything but white space follows the lines the plug-in reads.
bool text_after_last_line(std::string_view bytes) {
  LineReader reader(bytes);
  std::string_view piece;
  for (int line = 0; line < kSettingsLineCount; ++line) {
    if (!reader.next(piece)) return false;
  }
  while (reader.next(piece)) {
    if (!trim(piece).empty()) return true;
  }
  return false;
}

}  // namespace

constexpr char kUsage[] =
    "usage: aimsets FILE\n"
    "Shows what the aim camera plug-in will read from its settings file, line by\n"
    "line: what it stores, what it ignores and why.\n"
    "Exit status: 0 when every value is stored as written, 1 when anything is\n"
    "ignored, changed or missing, 2 when the file cannot be read.\n";

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const char* path = argv[1];
  std::FILE* file = std::fopen(path, "rb");
  if (!file) {
    std::fprintf(stderr, "aimsets: cannot open %s: %s\n", path, std::strerror(errno));
    return 2;
  }
  // The plug-in reads no more than this; the rest cannot change its lines.
  std::string bytes(kMaxSettingsBytes, '\0');
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
  const bool failed = std::ferror(file) != 0;
  const int read_errno = errno;
  std::fclose(file);
  if (failed) {
    std::fprintf(stderr, "aimsets: cannot read %s: %s\n", path, std::strerror(read_errno));
    return 2;
  }

  Report report;
  report.end_of_file_mark_line = end_of_file_mark_line(bytes);
  const int lines = read_settings(bytes, report);
  // A Ctrl-Z at the start of a line: that line is the first one missing.
  if (report.end_of_file_mark_line == lines + 1 && lines < kSettingsLineCount) {
    std::printf("line %d: %s\n", lines + 1, kEndOfFileMessage);
  }
  if (lines < kSettingsLineCount) {
    // Slots come last: when the first missing line is a slot, all of them are.
    const bool only_slots =
        kSettingsLayout[static_cast<std::size_t>(lines)].target == Target::WeaponSlot;
    const std::string which = lines + 1 == kSettingsLineCount
                                  ? "line 31 is missing"
                                  : "lines " + std::to_string(lines + 1) + " to 31 are missing";
    std::printf("%s; %s\n", which.c_str(),
                only_slots ? "their weapon offset slots keep their previous values"
                           : "everything they set keeps its previous value");
  }
  const bool extra = text_after_last_line(bytes);
  if (extra) std::printf("after line 31: more text, which the plug-in never reads\n");

  const bool all_stored = report.lines_with_problems == 0 && lines == kSettingsLineCount && !extra;
  if (all_stored) {
    std::printf("summary: all 31 lines read; every value is stored as written\n");
    return 0;
  }
  std::printf("summary: %d of 31 lines read", lines);
  if (report.lines_with_problems > 0) {
    std::printf("; %d with something ignored or changed", report.lines_with_problems);
  }
  if (lines < kSettingsLineCount) std::printf("; %d missing", kSettingsLineCount - lines);
  if (extra) std::printf("; text after line 31 ignored");
  std::printf("\n");
  return 1;
}
