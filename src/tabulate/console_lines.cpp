#include "tabulate/console_lines.h"

namespace haplovex {

FreeLine AllocatingLine(const ConversionSettings& s) {
  FreeLine line;
  line.Text("allocating n(").Int(s.nyrs).Int(s.nstrata).Int(s.nage).Int(s.ngroups).Text(")...");
  return line;
}

FreeLine GcodesLine(const ConversionSettings& s) {
  FreeLine line;
  line.Text("GCODES:").Text(s.gcodes).Text(".");
  return line;
}

FreeLine ObsfmtLine(const ConversionSettings& s) {
  FreeLine line;
  line.Text("obsfmt:").Text(s.obsfmt).Text(".");
  return line;
}

void WriteCountLines(Console& console, int64_t nrec, int32_t nanim, int64_t npar) {
  console.Line("");
  console.Line(IntField(nrec, 7) + " records read, representing " + IntField(nanim, 7) +
               " animals");
  console.Line("        Number of parameters=" + IntField(npar, 7));
}

}  // namespace haplovex
