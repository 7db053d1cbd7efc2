#include "tabulate/record_stream.h"

#include "common/fatal.h"
#include "common/format.h"
#include "tabulate/count_table.h"

namespace haplovex {

RecordStream::RecordStream(const ConversionSettings& s, RunFiles& files)
    : s_(s), files_(files), decoder_(s), screen_(s, decoder_) {
  files_.input.Rewind();
}

bool RecordStream::Next(DecodedRecord& rec) {
  RecordChecks& checks = files_.checks;
  const int64_t number = nrec_ + 1;
  bool empty = false;
  do {
    if (!files_.input.NextLine(line_)) return false;
  } while (!screen_.Screen(line_, number, padded_, checks, empty));
  decoder_.Decode(line_, number, rec, s_.listdata);
  ++nrec_;
  if (rec.ncaptures == 0 && !empty) checks.no_capture.Add(1, nrec_, 0);
  if (rec.odd) [[unlikely]] {
    decoder_.CountOddities(line_, nrec_, checks.foreign, checks.beyond);
  }
  if (rec.blank_frequency && !empty) checks.blank_frequency.Add(1, nrec_, s_.frqcol1);
  if (s_.listdata) files_.console.Line(decoder_.EchoLine(nrec_, rec));
  AddToTotal(nanim_, rec.freq, "animals read", nrec_);
  return true;
}

void RecordStream::AgeCodeError(DecodedRecord& rec) const {
  decoder_.DecodePositions(line_, rec);
  throw FatalStop({FreeLine().Text("** AGE CODE ERROR **").str(), decoder_.EchoLine(nrec_, rec)}, "");
}

}  // namespace haplovex
