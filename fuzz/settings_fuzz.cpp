// libFuzzer target: arbitrary bytes through the settings reader, with a sink
// that checks everything each line hands over and reads every value, so the
// sanitizers see any read past what the reader filled.
#include "aimcam/settings_format.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

namespace {

using namespace aimcam;

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "settings_fuzz: broken: %s\n", what);
  std::abort();
}

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool lies_within(std::string_view inner, std::string_view outer) {
  const auto begin = reinterpret_cast<std::uintptr_t>(outer.data());
  const auto at = reinterpret_cast<std::uintptr_t>(inner.data());
  return at >= begin && at + inner.size() <= begin + outer.size();
}

// The input as text mode sees it: every CR LF pair as LF, nothing from the
// first Ctrl-Z on.
std::string text_mode(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\x1A'));
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text += bytes[i];
  }
  return text;
}

class CheckingSink : public SettingsSink {
 public:
  explicit CheckingSink(std::string_view text) : text_(text) {}

  int last_line = 0;
  int rows_done = 0;

  void on_line(const LineSpec& format, std::string_view piece, const LineScan& scan) override {
    check(format.line == last_line + 1 && format.line <= kSettingsLineCount, "lines in order 1..31");
    check(&format == &kSettingsLayout[static_cast<std::size_t>(format.line - 1)], "format from the layout");
    last_line = format.line;
    check(rows_done == (format.line > 14 ? 1 : 0), "rows done exactly once, before line 15");

    // The pieces, each followed by the line feed it ended at, are the text.
    check(piece.size() <= kMaxPieceLength, "piece within 511 characters");
    check(text_.substr(consumed_, piece.size()) == piece, "piece is the next text");
    consumed_ += piece.size();
    if (piece.size() < kMaxPieceLength && consumed_ < text_.size()) {
      check(text_[consumed_] == '\n', "a short piece ends at a line feed");
      ++consumed_;
    }

    check(scan.converted >= 0 && scan.converted <= format.expected, "converted within 0..expected");
    check(scan.end <= piece.size(), "end within the piece");
    check(scan.label.empty() || lies_within(scan.label, piece), "label within the piece");
    check(scan.label_too_long == (scan.label.size() > kMaxLabelLength), "label length flag");
    for (char c : scan.label) check(!is_space(c) && c != '\0', "label is one word");
    if (scan.label.empty() || scan.label_too_long) check(scan.converted == 0, "no label, no values");
    if (format.target == Target::Header) {
      check(scan.converted == 0 && scan.label.empty(), "headers are not parsed");
    }
    if (scan.integer_saturated) {
      check(format.target == Target::LiveReload && scan.converted == 1, "clamped only when read");
      check(scan.integer == std::numeric_limits<std::int32_t>::max() ||
                scan.integer == std::numeric_limits<std::int32_t>::min(),
            "clamped to a limit");
    }
    if (format.target != Target::LiveReload) {
      for (int k = 0; k < scan.converted; ++k) {
        const float value = scan.floats[static_cast<std::size_t>(k)];
        check(!std::isnan(value), "decimal text never gives NaN");
        touched_ = touched_ + value;
      }
    }

    // Scanning is a function of the piece alone.
    const LineScan again = scan_line(format, piece);
    check(again.converted == scan.converted && again.end == scan.end &&
              again.integer == scan.integer && again.label.data() == scan.label.data(),
          "same piece, same scan");
    for (int k = 0; k < scan.converted; ++k) {
      const auto i = static_cast<std::size_t>(k);
      check(std::bit_cast<std::uint32_t>(again.floats[i]) == std::bit_cast<std::uint32_t>(scan.floats[i]),
            "same piece, same values");
    }
  }

  void on_camera_rows_done() override {
    check(last_line == 14, "rows done right after line 14");
    ++rows_done;
  }

  std::size_t consumed() const { return consumed_; }

 private:
  std::string_view text_;
  std::size_t consumed_ = 0;
  volatile float touched_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = text_mode(bytes);
  CheckingSink sink(text);
  const int lines = read_settings(bytes, sink);
  check(lines == sink.last_line, "returns the lines it handed over");
  check(lines == kSettingsLineCount || sink.consumed() == text.size(), "stops early only at the end");
  check(text.empty() || lines > 0, "any byte before a Ctrl-Z makes a line");
  check(sink.rows_done == (lines >= 14 ? 1 : 0), "rows done only when line 14 was read");
  return 0;
}
