// haplovex_gen: writes a realistic capture-history file, and the answers that convert it.
//
//   haplovex_gen [--ragged | --inp | --frame] RECORDS STRATA PERIODS AGES GROUPS SEED > data.txt
//   haplovex_gen [--inp | --frame] --answers MODSET DATAFILE STRATA PERIODS AGES GROUPS > answers.txt
//
// Each record is one animal marked at a random period in a random stratum, then followed with
// fixed survival (0.8), staying (0.7) and capture (0.3) probabilities, so that most periods are
// "not caught" as in real data. Record layout, with T periods:
//   columns 1..T    stratum code of each period (A, B, ... ; 0 = not caught)
//   column T+2      fate: X when the animal was not released after its last capture
//   column T+3      age code at first capture (J, then B, C, ... for older classes)
//   column T+4      group code (M, F, then G, H, ...)
//   columns T+6..T+9  frequency, right-justified
// --ragged writes the frequency left-justified and ended by ";", as encounter-history files do,
// and ends the line there: the lines are shorter than the last column read.
// --inp writes the same animals as summarised histories, one record a line: the history, then
// one count for each group (the record's group its frequency, the others 0; negative when the
// animals were not released after their last capture), then ";". It takes one age class (the
// age codes of the other layouts are drawn all the same, so that the histories are the same),
// and its answers are those of an --inp run.
// --frame writes the same animals as a data frame as R's write.csv writes it: a header, then
// the history, fate ("X" or ""), age and group codes quoted, the frequency, and a note, mostly
// "" and now and then quoted text with a comma, a doubled quote and a line end in it; its
// answers are those of a --frame run, which gives the files of the plain file.
// The same seed gives the same file on every machine (no library distributions are used).
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr const char* kStrata = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr const char* kAges = "JBCDEFGHIKLMNOPQRSTUVWXYZA";
constexpr const char* kGroups = "MFGHIJKLNOPQRSTUVWXYZABCDE";

// splitmix64: small, fast and the same everywhere.
struct Random {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
};

int Usage() {
  std::fprintf(stderr,
               "usage: haplovex_gen [--ragged | --inp | --frame] RECORDS STRATA PERIODS AGES GROUPS SEED\n"
               "       haplovex_gen [--inp | --frame] --answers MODSET DATAFILE STRATA PERIODS AGES GROUPS\n");
  return 2;
}

// The first `count` codes of `codes`, separated by commas.
std::string Levels(const char* codes, int count) {
  std::string levels;
  for (int k = 0; k < count; ++k) levels += (k == 0 ? "" : ",") + std::string(1, codes[k]);
  return levels;
}

// The answers of a --frame run of the fields --frame writes.
int FrameAnswers(int modset, const char* data, int strata, int T, int ages, int groups) {
  std::printf("#haplovex --frame\n%s\n%d,%d,%d,%d\n%.*s\nch\nfate\nX\n", data, strata, T, ages, groups, strata,
              kStrata);
  if (ages > 1) std::printf("age\n%s\n", Levels(kAges, ages).c_str());
  if (groups > 1) std::printf("group\n%s\n", Levels(kGroups, groups).c_str());
  std::printf("freq\n%d\n", modset);
  if (modset >= 3) std::printf("0\n");
  std::printf("Generated %d strata %d periods\n", strata, T);
  return 0;
}

// `inp`: the answers of an --inp run.
int Answers(bool inp, int modset, const char* data, int strata, int periods, int ages, int groups) {
  const int T = periods;
  if (inp) {
    if (ages != 1) return Usage();
    std::printf("#haplovex --inp\n%s\n%d,%d,1,%d\n%.*s\n", data, strata, T, groups, strata, kStrata);
    if (groups > 1) std::printf("%.*s\n", groups, kGroups);
    std::printf("%d\n", modset);
    if (modset >= 3) std::printf("0\n");
    std::printf("Generated %d strata %d periods\n", strata, T);
    return 0;
  }
  std::printf("%s\n%d,%d,%d,%d\n%.*s\n1\n%d\n", data, strata, T, ages, groups, strata, kStrata,
              T + 2);
  if (ages > 1) std::printf("%d\n%.*s\n", T + 3, ages, kAges);
  if (groups > 1) std::printf("%d\n%.*s\n", T + 4, groups, kGroups);
  std::printf("%d\n%d\n%d\n", T + 6, T + 9, modset);
  if (modset >= 3) std::printf("0\n");
  std::printf("Generated %d strata %d periods\n", strata, T);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool ragged = argc > 1 && std::string(argv[1]) == "--ragged";
  const bool inp = argc > 1 && std::string(argv[1]) == "--inp";
  const bool frame = argc > 1 && std::string(argv[1]) == "--frame";
  if (ragged || inp || frame) {
    --argc;
    ++argv;
  }
  if (argc == 8 && std::string(argv[1]) == "--answers" && frame) {
    return FrameAnswers(std::atoi(argv[2]), argv[3], std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]),
                        std::atoi(argv[7]));
  }
  if (argc == 8 && std::string(argv[1]) == "--answers") {
    return Answers(inp, std::atoi(argv[2]), argv[3], std::atoi(argv[4]), std::atoi(argv[5]),
                   std::atoi(argv[6]), std::atoi(argv[7]));
  }
  if (argc != 7) return Usage();
  const long long records = std::atoll(argv[1]);
  const int S = std::atoi(argv[2]), T = std::atoi(argv[3]), A = std::atoi(argv[4]),
            G = std::atoi(argv[5]);
  if (records < 0 || S < 1 || S > 26 || T < 2 || A < 1 || A > 26 || G < 1 || G > 26) return Usage();
  if (inp && A != 1) return Usage();
  Random rng{std::strtoull(argv[6], nullptr, 10)};

  std::vector<char> line(static_cast<size_t>(T) + 9);
  std::string out;
  out.reserve(1 << 20);
  if (frame) out += "\"ch\",\"fate\",\"age\",\"group\",\"freq\",\"note\"\n";
  for (long long r = 0; r < records; ++r) {
    std::fill(line.begin(), line.end(), ' ');
    for (int i = 0; i < T; ++i) line[static_cast<size_t>(i)] = '0';
    const int release = rng.Below(T - 1);
    int stratum = rng.Below(S);
    line[static_cast<size_t>(release)] = kStrata[stratum];
    for (int i = release + 1; i < T; ++i) {
      if (rng.Uniform() >= 0.8) break;
      if (S > 1 && rng.Uniform() >= 0.7) stratum = (stratum + 1 + rng.Below(S - 1)) % S;
      if (rng.Uniform() < 0.3) {
        line[static_cast<size_t>(i)] = kStrata[stratum];
      }
    }
    if (rng.Uniform() < 0.02) line[static_cast<size_t>(T + 1)] = 'X';
    line[static_cast<size_t>(T + 2)] = kAges[rng.Uniform() < 0.6 ? 0 : rng.Below(A)];
    line[static_cast<size_t>(T + 3)] = kGroups[rng.Below(G)];
    const int freq = rng.Uniform() < 0.9 ? 1 : 2 + rng.Below(4);
    if (frame) {
      out += '"';
      out.append(line.data(), static_cast<size_t>(T));
      out += line[static_cast<size_t>(T + 1)] == 'X' ? "\",\"X\",\"" : "\",\"\",\"";
      out += line[static_cast<size_t>(T + 2)];
      out += "\",\"";
      out += line[static_cast<size_t>(T + 3)];
      out += "\",";
      out += static_cast<char>('0' + freq);
      out += r % 97 == 0 ? ",\"seen twice, \"\"here\"\"\nand there\"" : ",\"\"";
    } else if (inp) {
      out.append(line.data(), static_cast<size_t>(T));
      const bool lost = line[static_cast<size_t>(T + 1)] == 'X';
      for (int g = 0; g < G; ++g) {
        out += ' ';
        if (line[static_cast<size_t>(T + 3)] != kGroups[g]) {
          out += '0';
        } else {
          if (lost) out += '-';
          out += static_cast<char>('0' + freq);
        }
      }
      out += ';';
    } else if (ragged) {
      line[static_cast<size_t>(T + 5)] = static_cast<char>('0' + freq);
      line[static_cast<size_t>(T + 6)] = ';';
      out.append(line.data(), static_cast<size_t>(T) + 7);
    } else {
      line[static_cast<size_t>(T + 8)] = static_cast<char>('0' + freq);
      out.append(line.data(), line.size());
    }
    out.push_back('\n');
    if (out.size() > (1 << 20) - 256) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
