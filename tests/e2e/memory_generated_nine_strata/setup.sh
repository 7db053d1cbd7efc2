# 20,000 records of 9 strata over 40 periods (columns 1-40), fate in 41, age in 42 (J, A or
# a blank, which counts as the oldest class), group in 43 (M or F), frequency in 44-46.
awk 'BEGIN {
  srand(4711)
  codes = "ABCDEFGHI"
  for (n = 0; n < 20000; n++) {
    first = int(rand() * 40)
    line = ""
    for (i = 0; i < 40; i++) {
      if (i < first || rand() < 0.4) c = "0"; else c = substr(codes, int(rand() * 9) + 1, 1)
      line = line c
    }
    fate = rand() < 0.1 ? "X" : " "
    r = rand()
    age = r < 0.5 ? "J" : (r < 0.95 ? "A" : " ")
    grp = rand() < 0.5 ? "M" : "F"
    printf "%s%s%s%s%3d\n", line, fate, age, grp, int(rand() * 5) + 1
  }
}' > records.txt
