// The layout and scanning rules of "aimingSets.dat", the aim camera's settings
// file. Portable: no Windows header, so the plug-in, the modders' checker and
// the fuzz target share this one reader and can never disagree.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace aimcam {

// A line read takes at most 511 characters, its line feed included, like a
// bounded line read into a 512-byte buffer. Longer physical lines are consumed
// in pieces, and each piece counts as one line of the format.
inline constexpr std::size_t kLineBufferSize = 512;
inline constexpr std::size_t kMaxPieceLength = kLineBufferSize - 1;
// A label longer than this makes its line store nothing.
inline constexpr std::size_t kMaxLabelLength = 127;
inline constexpr int kSettingsLineCount = 31;
// The most that 31 line reads can consume from a file: every character of a
// piece may have come from a CR LF pair.
inline constexpr std::size_t kMaxSettingsBytes = kSettingsLineCount * kMaxPieceLength * 2;

// What a line of the file feeds.
enum class Target : std::uint8_t {
  LiveReload,    // "%s %d": the live reload switch
  Header,        // read, never parsed
  HostValue,     // "%s %f": one host aim value (a float in host data)
  CodeConstant,  // "%s %f": the host aim code constant (4 bytes of host code)
  CameraRow,     // "%s %f %f %f %f %f %f %f": one row of the camera table
  WeaponSlot,    // "%s %f %f %f": one weapon offset slot
};

struct LineSpec {
  int line;                    // 1-based line number in the file
  Target target;
  int expected;                // number of values the line carries (0 for headers)
  int index;                   // camera row or weapon slot; 0 otherwise
  std::uint32_t host_address;  // host address written (HostValue, CodeConstant), else 0
};

// The 31 lines, in file order.
extern const std::array<LineSpec, kSettingsLineCount> kSettingsLayout;

// What scanning one line yielded. Values are assigned left to right up to the
// first one that does not convert; the rest keep their previous contents in
// the targets.
struct LineScan {
  std::string_view label;             // the first run of non-white characters
  bool label_too_long = false;        // more than kMaxLabelLength: nothing stored
  int converted = 0;                  // how many values converted, from the left
  std::int32_t integer = 0;           // LiveReload: the value, when converted
  bool integer_saturated = false;     // LiveReload: out of 32-bit range, clamped
  std::array<float, 7> floats{};      // float lines: the first `converted` are valid
  // Offset in the piece just past the last thing scanned: the label, or the
  // last value that converted. What follows is the text that was not used.
  std::size_t end = 0;
};

// Receives each line the moment it has been scanned.
class SettingsSink {
 public:
  virtual ~SettingsSink() = default;
  // Every line read (headers too, with converted 0). `piece` is the text of
  // the line as read, without its line feed.
  virtual void on_line(const LineSpec& format, std::string_view piece, const LineScan& scan) = 0;
  // Right after line 14 (the last camera row) has been scanned, before line
  // 15 is read. Not called when the file ends before line 14.
  virtual void on_camera_rows_done() = 0;
};

// A Ctrl-Z byte: a text-mode read takes it for the end of the file.
inline constexpr char kEndOfFileMark = '\x1A';

// Text-mode line reads from the bytes of a file: CR LF ends a line like LF,
// a Ctrl-Z ends the file (the text before it on its line is still that
// line), each read yields at most kMaxPieceLength characters.
class LineReader {
 public:
  explicit LineReader(std::string_view bytes) : rest_(bytes.substr(0, bytes.find(kEndOfFileMark))) {}
  // Fills `piece` with the next line without its line feed; false at the end
  // of the bytes. The characters live in the reader's own buffer, valid until
  // the next call.
  bool next(std::string_view& piece);

 private:
  std::string_view rest_;
  std::array<char, kLineBufferSize> buffer_{};
};

// Scans a line against the shape its format gives. Header lines yield an empty
// scan. Numbers use the decimal point whatever the process's locale. Only the
// first kMaxPieceLength characters of `piece` are looked at, as many as a line
// read yields.
LineScan scan_line(const LineSpec& format, std::string_view piece);

// Reads the file's lines in order, scanning each and handing it to the sink
// at once. Stops after line 31 or at the end of the bytes or a Ctrl-Z;
// returns the number of lines read.
int read_settings(std::string_view file_bytes, SettingsSink& sink);

}  // namespace aimcam
