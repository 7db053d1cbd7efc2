#include "tabulate/record.h"

namespace haplovex {

void CollectCaptures(DecodedRecord& rec, int32_t nstrata) {
  rec.captures.resize(rec.ch.size());
  rec.ncaptures = 0;
  for (size_t i = 0; i < rec.ch.size(); ++i) {
    if (rec.ch[i] >= 1 && rec.ch[i] <= nstrata) {
      rec.captures[rec.ncaptures++] = Capture{static_cast<int32_t>(i + 1), rec.ch[i]};
    }
  }
}

}  // namespace haplovex
