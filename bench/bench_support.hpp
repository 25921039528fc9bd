// Small helpers for the benchmark program: a clock and a table printer.
#pragma once

#include <windows.h>

#include <cstdio>

namespace bench {

inline double now_seconds() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Best of a few rounds of `iterations` calls, in nanoseconds per call.
template <class F>
double nanoseconds_per_call(F&& call, int iterations, int rounds = 5) {
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    const double start = now_seconds();
    for (int i = 0; i < iterations; ++i) call();
    const double elapsed = (now_seconds() - start) * 1e9 / iterations;
    if (elapsed < best) best = elapsed;
  }
  return best;
}

inline void row(const char* what, const char* measured, double value, const char* unit,
                const char* against = "", double ratio = 0.0) {
  if (ratio > 0.0) {
    std::printf("%-34s %-30s %12.1f %-8s %-24s %6.2fx\n", what, measured, value, unit, against,
                ratio);
  } else {
    std::printf("%-34s %-30s %12.1f %-8s\n", what, measured, value, unit);
  }
}

}  // namespace bench
