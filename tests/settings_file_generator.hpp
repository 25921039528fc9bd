// Settings files made from a seed, for reading one file two ways and
// comparing what each stores. A file is 31 lines of roughly the right shapes
// (sometimes fewer or more) with everything a reader can trip over mixed in:
// numbers of every decimal shape, words and partial numbers where numbers go,
// labels that are numbers or too long, every white-space character, four
// kinds of line end, over-long lines, NUL bytes, Ctrl-Z bytes and files that
// stop short.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace settings_files {

// splitmix64: the same numbers from a seed with every compiler and library,
// which the standard distributions do not promise.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next();
  // 0 <= result < n, for n > 0.
  std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }
  // low <= result <= high.
  int between(int low, int high) {
    return low + static_cast<int>(below(static_cast<std::uint32_t>(high - low + 1)));
  }
  bool percent(std::uint32_t chance) { return below(100) < chance; }
  char pick(std::string_view characters) { return characters[below(static_cast<std::uint32_t>(characters.size()))]; }

 private:
  std::uint64_t state_;
};

// File `index` of `seed`: the same bytes on every run.
std::string settings_file(std::uint64_t seed, int index);

// The lines a text-mode line read into 512 bytes yields from `bytes`: a CR LF
// pair reads as LF, a Ctrl-Z ends the file, a line longer than 511
// characters comes in pieces. Each without its line feed.
std::vector<std::string> text_mode_lines(std::string_view bytes);

}  // namespace settings_files
