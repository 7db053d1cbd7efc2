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
  screen_.Note(line_, nrec_, rec.ncaptures > 0, rec.odd, rec, empty, checks);
  if (s_.listdata) files_.console.Line(decoder_.EchoLine(nrec_, rec));
  AddToTotal(nanim_, rec.freq, "animals read", nrec_);
  return true;
}

void RecordStream::AgeCodeError(DecodedRecord& rec) const {
  decoder_.DecodePositions(line_, rec);
  throw FatalStop({FreeLine().Text("** AGE CODE ERROR **").str(), decoder_.EchoLine(nrec_, rec)}, "");
}

}  // namespace haplovex
