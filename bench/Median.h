// The median of a benchmark's rounds: one slow round (a busy machine) does not move it.
#pragma once

#include <algorithm>
#include <vector>

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}
