# 100,000 capture histories drawn with a fixed seed: 40 periods in columns 1-40 over 9 strata
# (a capture at about one period in four), a fate mark in column 41, an age code (YSA) in
# column 42, a group code (MFU) in column 43 and a frequency of 1 to 20 in columns 45-47.
awk 'BEGIN {
  srand(20240611);
  codes = "ABCDEFGHI";
  for (r = 0; r < 100000; r++) {
    line = "";
    for (i = 1; i <= 40; i++) {
      if (rand() < 0.25) line = line substr(codes, int(rand() * 9) + 1, 1);
      else line = line ".";
    }
    line = line (rand() < 0.05 ? "X" : " ");
    line = line substr("YSA", int(rand() * 3) + 1, 1);
    line = line substr("MFU", int(rand() * 3) + 1, 1);
    printf "%s %3d\n", line, int(rand() * 20) + 1;
  }
}' > records.txt
