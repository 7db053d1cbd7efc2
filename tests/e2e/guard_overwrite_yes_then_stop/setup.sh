# A folder in place of HAPLOVEX.SUM: the run ends right after the title line.
mkdir HAPLOVEX.SUM
