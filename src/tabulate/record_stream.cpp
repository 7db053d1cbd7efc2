#include "tabulate/record_stream.h"

#include "common/fatal.h"
#include "common/format.h"
#include "tabulate/count_table.h"

namespace haplovex {

RecordStream::RecordStream(const ConversionSettings& s, RunFiles& files)
    : s_(s), files_(files), decoder_(s) {
  files_.input.Rewind();
}

bool RecordStream::Next(DecodedRecord& rec) {
  if (!files_.input.NextLine(line_)) return false;
  if (line_.size() < decoder_.width()) {
    padded_.assign(line_);
    padded_.resize(decoder_.width(), ' ');
    line_ = padded_;
  }
  decoder_.Decode(line_, nrec_ + 1, rec, s_.listdata);
  ++nrec_;
  if (s_.listdata) files_.console.Line(decoder_.EchoLine(nrec_, rec));
  AddToTotal(nanim_, rec.freq, "animals read", nrec_);
  return true;
}

void RecordStream::AgeCodeError(DecodedRecord& rec) const {
  decoder_.DecodePositions(line_, rec);
  throw FatalStop({FreeLine().Text("** AGE CODE ERROR **").str(), decoder_.EchoLine(nrec_, rec)}, "");
}

}  // namespace haplovex
