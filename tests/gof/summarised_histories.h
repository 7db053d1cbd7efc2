// Test support: reads a small file of summarised histories (one history a line of digits,
// 0 = not seen and 1..9 the stratum, then one count and `;`), as the fit tests' reference
// cases and the geese example are stored, and fills a multi-state m-array from them.
#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tabulate/marray.h"

namespace haplovex::gof::testing {

struct History {
  std::vector<uint8_t> sites;  // a period each: 0 not seen, else the stratum
  int64_t count = 0;           // negative: removed at the last capture
};

inline std::vector<History> ReadHistories(const std::string& path) {
  std::ifstream in(path);
  std::vector<History> histories;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string history;
    int64_t count = 0;
    if (!(fields >> history >> count)) continue;
    History h;
    for (char c : history) h.sites.push_back(static_cast<uint8_t>(c - '0'));
    h.count = count;
    histories.push_back(std::move(h));
  }
  return histories;
}

// The m-array of consecutive captures, worked out the plain way.
inline MultiStateMArray MArrayOf(const std::vector<History>& histories, int strata) {
  const int periods = histories.empty() ? 0 : static_cast<int>(histories[0].sites.size());
  MultiStateMArray m(periods, strata);
  for (const History& h : histories) {
    const int64_t animals = h.count < 0 ? -h.count : h.count;
    int last = 0;
    for (int t = 1; t <= periods; ++t) {
      if (h.sites[t - 1] == 0) continue;
      if (last > 0) m.AddPair(last, h.sites[last - 1], t, h.sites[t - 1], animals);
      last = t;
    }
    if (last > 0 && last < periods && h.count > 0) m.AddLast(last, h.sites[last - 1], h.count);
  }
  return m;
}

inline std::string SourcePath(const std::string& relative) {
  return std::string(HAPLOVEX_SOURCE_DIR) + "/" + relative;
}

}  // namespace haplovex::gof::testing
