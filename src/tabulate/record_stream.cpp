#include "tabulate/record_stream.h"

#include "common/fatal.h"
#include "common/format.h"
#include "tabulate/count_table.h"

namespace haplovex {

RecordStream::RecordStream(const ConversionSettings& s, InputFile& input, Console& console,
                           RecordChecks& checks)
    : s_(s), input_(input), console_(console), checks_(checks), decoder_(s), screen_(s, decoder_) {
  input_.Rewind();
  if (s.header_line && input_.NextLine(line_)) checks_.header_lines = 1;
}

bool RecordStream::Next(DecodedRecord& rec) {
  const int64_t number = nrec_ + 1;
  bool empty = false;
  do {
    if (!input_.NextLine(line_)) return false;
  } while (!screen_.Screen(line_, number, padded_, checks_, empty));
  decoder_.Decode(line_, number, rec, s_.listdata);
  ++nrec_;
  screen_.Note(line_, nrec_, rec.ncaptures > 0, rec.odd, rec, empty, checks_);
  if (s_.listdata) console_.Line(decoder_.EchoLine(nrec_, rec));
  AddToTotal(nanim_, rec.freq, "animals read", nrec_);
  return true;
}

void RecordStream::AgeCodeError(DecodedRecord& rec) const {
  decoder_.DecodePositions(line_, rec);
  throw FatalStop({FreeLine().Text("** AGE CODE ERROR **").str(), decoder_.EchoLine(nrec_, rec)}, "");
}

}  // namespace haplovex
