# Fate marks as raw bytes: 0xE9 (above 127, so above the blank: not released), a tab (below
# the blank: released) and DEL 0x7F (not released).
printf 'AA.\351\nAA.\t\nB.B\177\n' > records.txt
