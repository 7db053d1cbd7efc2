#!/usr/bin/env bash
# --csv and --report on the shipped examples, every model set: the runs give the same
# HAPLOVEX.OUT and HAPLOVEX.SUM as without them; the tidy tables load in Python's csv module
# (and in R where it is installed) with the expected columns, and rebuilt from them the cohort
# cells of HAPLOVEX.OUT and the tables of HAPLOVEX.SUM come out the same; the report passes
# tidy with no error or warning, refers to nothing outside itself, and a headless browser
# renders it; its m-arrays and sparse cohorts agree with HAPLOVEX.releases.csv, its captures of
# each group (table and charts) with the records, its c-hat with HAPLOVEX.GOF. Pages for 26 strata, 26 groups and
# 40 periods, and for 10 strata, 26 groups and 20 periods (the largest m-array in full), stay
# under 2 MB. A run that stops leaves none of the files.
#   csv_report.sh HAPLOVEX GEN
set -uo pipefail
bin=$(realpath "$1")
gen=$(realpath "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/e2e/checks.sh"

# What the machine has (.ci/run installs it all; no test installs anything): Python is needed;
# without tidy or a browser their checks are skipped with a word.
command -v python3 > /dev/null || { echo "csv report: skipped, python3 is needed"; exit 77; }
# The interpreter itself, called some forty times: a version manager's shim in front of it
# would start a shell or two for each call.
python=$(python3 -c 'import sys; print(sys.executable)')
browser=""
for b in chromium chromium-browser google-chrome; do command -v "$b" > /dev/null && browser=$b && break; done

# Rebuilds HAPLOVEX.OUT's cohort cells and HAPLOVEX.SUM's tables from the tidy tables.
cat > "$work/check.py" <<'EOF'
import csv, re, sys
folder, strata, periods, memory = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4] == "1"
# Every cohort, or every `stride`-th for a design of tens of thousands of cohorts.
stride = int(sys.argv[5]) if len(sys.argv) > 5 else 1
S = len(strata)
releases_columns = ["group", "age", "release_period"] + (["previous_stratum"] if memory else []) + [
    "release_stratum", "released", "next_period", "next_stratum", "animals"]
transitions_columns = ["group", "age"] + (["previous_stratum"] if memory else []) + [
    "from_stratum", "to_stratum", "animals"]

def rows(name, columns):
    with open(f"{folder}/{name}", newline="") as f:
        reader = csv.DictReader(f)
        if reader.fieldnames != columns:
            sys.exit(f"{name}: columns {reader.fieldnames}, expected {columns}")
        return list(reader)

# Cohorts in file order, each with its cells as HAPLOVEX.OUT writes them.
cohorts, index = [], {}
for r in rows("HAPLOVEX.releases.csv", releases_columns):
    key = tuple(r[c] for c in releases_columns[:-3])
    if key not in index:
        index[key] = len(cohorts)
        cohorts.append((int(r["released"]), int(r["release_period"]), {}, [None]))
    released, i, cells, never = cohorts[index[key]]
    if r["next_period"] == "":
        never[0] = int(r["animals"])
    else:
        cells[(int(r["next_period"]), r["next_stratum"])] = int(r["animals"])
rebuilt = []
for released, i, cells, never in cohorts[::stride]:
    counts = [cells.get((j, s2), 0) for j in range(i + 1, periods + 1) for s2 in strata]
    if never[0] is None or never[0] != released - sum(counts) or never[0] < 0:
        sys.exit(f"cohort of period {i}: never seen again {never[0]}, released {released}")
    rebuilt.append([released] + counts)

# (The cohorts stand before the labels, which for a wide design are most of the file.)
lines = []
with open(f"{folder}/HAPLOVEX.OUT") as out:
    for line in out:
        if line.startswith("LABELS;"):
            break
        lines.append(line.rstrip("\n").rstrip(" "))
text = "".join(lines[3:])
written = text.split("COHORT=")[1:]
if len(written) != len(cohorts):
    sys.exit(f"{len(written)} cohorts written, {len(cohorts)} in the CSV")
written = [[int(x) for x in re.findall(r"\d+", c)] for c in written[::stride]]
if written != rebuilt:
    sys.exit(f"cohort cells differ: {len(written)} written, {len(rebuilt)} rebuilt from the CSV")

# The summary tables: movement-only, every group and age class; memory, group 1 and age
# class 1 summed over the previous stratum.
moves = {}
for r in rows("HAPLOVEX.transitions.csv", transitions_columns):
    key = (r["group"], r["age"], r["from_stratum"], r["to_stratum"])
    moves[key] = moves.get(key, 0) + int(r["animals"])
summary = open(f"{folder}/HAPLOVEX.SUM").read().split("\n")
numbers = [int(x) for line in summary[2 if not memory else 1:] if not line.startswith(" GROUP")
           for x in line.split()]
tables = []
for (g, a, f, t) in moves:
    if (g, a) not in tables:
        tables.append((g, a))
if memory:
    tables = tables[:1]
expected = [moves[(g, a, f, t)] for (g, a) in tables for f in strata for t in strata]
if numbers != expected:
    sys.exit(f"summary tables differ: {numbers[:12]}... against {expected[:12]}...")
print(f"{len(cohorts)} cohorts ({len(written)} rebuilt) and {len(tables)} tables agree")
EOF

# The page against HAPLOVEX.releases.csv: the m-arrays (the age classes and previous strata
# summed; by release period alone past 20 periods or 10 strata), one for each group under its
# label while they are together no larger than one of 20 periods and 10 strata (190 rows), else
# one of all groups summed; each count's share of its row, the sparse cohorts counted and
# listed; c-hat against HAPLOVEX.GOF; version and date.
cat > "$work/check_page.py" <<'EOF'
import csv, re, sys
folder, strata, T, version = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[5]
first, full = (2 if sys.argv[4] == "1" else 1), int(sys.argv[3]) <= 20 and len(sys.argv[2]) <= 10
page = open(f"{folder}/HAPLOVEX.html", encoding="utf-8").read()
with open(f"{folder}/HAPLOVEX.releases.csv", newline="", encoding="utf-8") as f:
    releases = list(csv.DictReader(f))
groups = list(dict.fromkeys(r["group"] for r in releases))
by_group = full and len(groups) * ((T - 1) * len(strata)) ** 2 <= 190 ** 2
cohorts, m = [], {}
for r in releases:
    key = (r["group"], r["age"], r["release_period"], r.get("previous_stratum"), r["release_stratum"])
    row = (r["group"] if by_group else "", int(r["release_period"]), r["release_stratum"] if full else "")
    if not cohorts or cohorts[-1][0] != key:
        cohorts.append((key, int(r["released"])))
        m[row] = m.get(row, 0) + int(r["released"])
    col = (int(r["next_period"]), r["next_stratum"] if full else "") if r["next_period"] else "never"
    m[row + (col,)] = m.get(row + (col,), 0) + int(r["animals"])
tables = page.split('<table class="marray">')[1:]
if len(tables) != (len(groups) if by_group else 1):
    sys.exit(f"{len(tables)} m-arrays on the page, {len(groups)} groups")
heads = re.findall(r"<h3>(.*?)</h3>\n<h4>Animals caught", page)
want_heads = [f"Group {g}" for g in groups] if by_group else ["All groups together"]
if len(groups) > 1 and heads != want_heads:
    sys.exit(f"headings {heads}, expected {want_heads}")
cols = [(j, t) for j in range(first + 1, T + 1) for t in (strata if full else [""])]
for group, table in zip(groups if by_group else [""], tables):
    rows = [r for r in re.findall(r"<tr>(.*?)</tr>", table[:table.index("</table>")]) if "<td" in r]
    if len(rows) != (T - first) * (len(strata) if full else 1):
        sys.exit(f"{len(rows)} rows in the m-array of group {group}")
    for n, tr in enumerate(rows):
        heads = re.findall(r"<th[^>]*>(.*?)</th>", tr)
        i = first + (n // len(strata) if full else n)
        row = (group, i, heads[-1] if full else "")
        cells = re.findall(r"<td[^>]*>(.*?)</td>", tr)
        for col, cell in zip(["released"] + cols + ["never"], cells):
            count = m.get(row, 0) if col == "released" else m.get(row + (col,), 0)
            share = f"{count / m[row]:.3f}" if col != "released" and count and m.get(row) else None
            want = "" if col not in ("released", "never") and col[0] <= i else f"{count:,}" + (
                f'<span class="p">{share}</span>' if share else "")
            if cell != want:
                sys.exit(f"m-array {row} {col}: {cell!r} on the page, {want!r} from the CSV")
sparse = [(k, r) for k, r in cohorts if 0 < r < 10]
said = f"Of the {len(cohorts):,} release cohort{'s' if len(cohorts) != 1 else ''} of"
counts = [len(sparse), sum(1 for _, r in cohorts if r == 0)]
said2 = "{:,} ha{} fewer than 10 animals released (1 to 9), and {:,} ha{} none.".format(
    counts[0], "s" if counts[0] == 1 else "ve", counts[1], "s" if counts[1] == 1 else "ve")
listed = re.findall(r"<tr><td>(.*?)</td></tr>", page[page.find('<table class="sparse">'):].split("</table>")[0])
want = ["</td><td>".join([g, a, i] + ([q] if q else []) + [s, str(r)]) for (g, a, i, q, s), r in sparse[:50]]
if said not in page or said2 not in page or listed != want:
    sys.exit(f"sparse cohorts: {said} {said2} {want[:2]} not on the page")
fit = open(f"{folder}/HAPLOVEX.GOF").read() if "<h2>Goodness of fit" in page else ""
if re.findall(r"^Group (.*)\nc-hat ([\d.]+) ", fit, re.M) != re.findall(r"<p>Group (.*?): <strong>c-hat ([\d.]+)<", page):
    sys.exit("c-hat differs from HAPLOVEX.GOF")
if f"Written by HAPLOVEX {version} on 2023-11-14." not in page:
    sys.exit("the page does not name the version and the date")
EOF
version=$("$bin" --version | sed -n '1s/^haplovex //p')
export SOURCE_DATE_EPOCH=1700000000  # 2023-11-14

# check_run NAME DIR STRATA PERIODS MEMORY [STRIDE]
check_run() {
  local name=$1 dir=$2 strata=$3 periods=$4 memory=$5 stride=${6:-1}
  expect "$name csv" "$python" "$work/check.py" "$dir" "$strata" "$periods" "$memory" "$stride"
  expect "$name page" "$python" "$work/check_page.py" "$dir" "$strata" "$periods" "$memory" "$version"
  if command -v Rscript > /dev/null; then
    expect "$name R" Rscript -e "r <- read.csv('$dir/HAPLOVEX.releases.csv'); t <- read.csv('$dir/HAPLOVEX.transitions.csv'); stopifnot(nrow(r) > 0, 'released' %in% names(r), 'animals' %in% names(t))"
  fi
  expect "$name report is whole" grep -q '</html>' "$dir/HAPLOVEX.html"
  expect "$name report refers to nothing outside" \
    bash -c "! grep -qiE '<script|src=|href=|url\\(|@import|https?:' '$dir/HAPLOVEX.html'"
  if command -v tidy > /dev/null; then
    tidy -quiet "$dir/HAPLOVEX.html" > /dev/null 2> "$dir/.tidy"
    expect "$name report has no HTML error or warning" [ $? = 0 ]
  fi
}

tidy_note=""; command -v tidy > /dev/null || tidy_note=" (no tidy: HTML checks skipped)"
for answers in "$root"/examples/*/answers*.txt; do
  example_dir=$(dirname "$answers")
  name="$(basename "$example_dir")/$(basename "$answers" .txt)"
  dir="$work/$(basename "$example_dir")-$(basename "$answers" .txt)"
  mkdir -p "$dir"
  find "$example_dir" -maxdepth 1 -type f ! -name '*.md' -exec cp {} "$dir/" \;
  (cd "$dir" && "$bin" --csv --report "$(basename "$answers")" > .console 2> .err)
  expect "$name finishes" [ $? = 0 ]
  expected="$example_dir/expected/$(basename "$answers" .txt)"
  expected=${expected%-frame}  # (a frame of the same animals gives the columns' files)
  for f in HAPLOVEX.OUT HAPLOVEX.SUM; do expect "$name $f unchanged" cmp -s "$dir/$f" "$expected/$f"; done
  # (The answers after an options line "#haplovex ...".)
  counts=$(grep -v '^#haplovex' "$answers" | sed -n 2p | tr -d '\r')
  strata=$(grep -v '^#haplovex' "$answers" | sed -n 3p | tr -d '\r' | cut -c1-"${counts%%,*}")
  periods=$(echo "$counts" | cut -d, -f2)
  modset=$(grep -xE '[1-4]' "$answers" | tail -n 1)
  memory=0; { [ "$modset" = 1 ] || [ "$modset" = 3 ]; } && memory=1
  check_run "$name" "$dir" "$strata" "$periods" "$memory"
done

# The widest page: 26 strata, 26 groups and 40 periods.
wide="$work/wide"
mkdir -p "$wide"
"$gen" 20000 26 40 1 26 3 > "$wide/d.txt"
"$gen" --answers 2 d.txt 26 40 1 26 > "$wide/answers.txt"
(cd "$wide" && "$bin" --report --csv answers.txt > .console 2> .err)
expect "wide finishes" [ $? = 0 ]
expect "wide page under 2 MB" [ "$(stat -c %s "$wide/HAPLOVEX.html")" -lt 2000000 ]
check_run wide "$wide" ABCDEFGHIJKLMNOPQRSTUVWXYZ 40 0 13
full="$work/full"
mkdir -p "$full"
"$gen" 50000 10 20 1 26 5 > "$full/d.txt"
"$gen" --answers 2 d.txt 10 20 1 26 > "$full/answers.txt"
(cd "$full" && "$bin" --report --csv answers.txt > .console 2> .err)
expect "full page under 2 MB" [ "$(stat -c %s "$full/HAPLOVEX.html")" -lt 2000000 ]
check_run full "$full" ABCDEFGHIJ 20 0

# Captures of each group (three, some animals lost on capture), read in two parts and the
# plain way (strata answered negative: records listed), against a count of the records: by
# both converters (model sets 2 and 4, 1 and 3).
"$gen" 3000 4 8 1 3 11 > "$work/groups.txt"
for run in 2-quick 2-plain 1-quick 1-plain 3-quick 3-plain; do
  dir="$work/groups-$run" modset=${run%-*}
  mkdir -p "$dir"
  cp "$work/groups.txt" "$dir/d.txt"
  "$gen" --answers "$modset" d.txt 4 8 1 3 > "$dir/answers.txt"
  [ "${run#*-}" = plain ] && sed -i '2s/^/-/' "$dir/answers.txt"
  (cd "$dir" && "$bin" --report --csv --gof --threads 2 answers.txt > .console 2> .err)
  check_run "groups $run" "$dir" ABCD 8 $((modset % 2))
  expect "groups $run: captures of each group" "$python" - "$dir" <<'EOF'
import re, sys
folder, T = sys.argv[1], 8
page = open(f"{folder}/HAPLOVEX.html").read()
caught, lost = {}, 0
for line in open(f"{folder}/d.txt"):
    lost += line[T + 1] == "X"
    for p in range(1, T + 1):
        key = (str(p), line[T + 3])
        caught[key] = caught.get(key, 0) + int(line[T + 5:T + 9]) * (line[p - 1] != "0")
cells = r"<td[^>]*>([\d,]+)</td>"
rows = re.findall(r"<tr><th>(\d)</th>" + 3 * cells + "<td>", page.replace(",", ""))
if lost == 0 or rows != [(str(p),) + tuple(str(caught[(str(p), g)]) for g in "MFG") for p in range(1, T + 1)]:
    sys.exit(f"captures by group: {rows}")
# Each group's chart: a line for each stratum, a count c at y = 230 - 220 c / most.
by_stratum = {}
for line in open(f"{folder}/d.txt"):
    for p in range(1, T + 1):
        key = (line[T + 3], p, line[p - 1])
        by_stratum[key] = by_stratum.get(key, 0) + int(line[T + 5:T + 9])
for g in "MFG":
    chart = page[page.index(f"<h3>Group {g}</h3>\n<h4>Animals caught at each period</h4>"):]
    chart = chart[:chart.index("</svg>")]
    counts = [[by_stratum.get((g, p, s), 0) for p in range(1, T + 1)] for s in "ABCD"]
    most = max(1, max(max(c) for c in counts))
    lines = [[int(y) for y in re.findall(r",(\d+)", points)] for points in re.findall(r'points="([^"]*)"', chart)]
    if lines != [[230 - c * 220 // most for c in line] for line in counts]:
        sys.exit(f"chart of group {g}: {lines}")
EOF
done

# A headless browser renders the pages.
if [ -n "$browser" ]; then
  for page in "$work/geese-answers/HAPLOVEX.html" "$wide/HAPLOVEX.html"; do
    rm -f "$work/shot.png"
    timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-background-networking \
      --disable-component-update --disable-sync --no-first-run --user-data-dir="$work/profile" \
      --window-size=1200,1600 --screenshot="$work/shot.png" "file://$page" > /dev/null 2>&1
    expect "renders $(basename "$(dirname "$page")")" [ -s "$work/shot.png" ]
  done
else
  echo "csv report: no browser (chromium) on this machine; the pages were not rendered"
fi

# The folder never holds two runs' files: a run without --csv and --report after one with them
# removes the earlier page and tables, also after the earlier HAPLOVEX.OUT and HAPLOVEX.SUM
# were removed by hand.
for clear in keep remove; do
  two="$work/two-runs-$clear"
  mkdir -p "$two"
  cp "$root/examples/geese/geese.inp" "$root/examples/geese/answers.txt" "$two/"
  (cd "$two" && "$bin" --csv --report answers.txt > /dev/null 2>&1)
  [ "$clear" = remove ] && rm "$two/HAPLOVEX.OUT" "$two/HAPLOVEX.SUM"
  (cd "$two" && "$bin" -y answers.txt > /dev/null 2> .err)
  expect "second run without them ($clear) finishes" [ $? = 0 ]
  expect "no earlier page or tables ($clear)" \
    [ -z "$(cd "$two" && ls HAPLOVEX.html HAPLOVEX.releases.csv HAPLOVEX.transitions.csv 2> /dev/null)" ]
  expect "the removal said ($clear)" grep -q "removed HAPLOVEX.html, an earlier run's file" "$two/.err"
done

# A run that stops leaves none of the files.
stop="$work/stop"
mkdir -p "$stop"
printf 'AB0 M\nA0A Q\n' > "$stop/d.txt"
printf 'd.txt\n2,3,1,2\nAB\n1\n0\n5\nMF\n0\n2\nStop\n' > "$stop/answers"
(cd "$stop" && "$bin" --csv --report answers > /dev/null 2>&1)
expect "a stop exits 1" [ $? = 1 ]
expect "a stop leaves nothing" [ -z "$(cd "$stop" && ls -A | grep -v '^d.txt$\|^answers$')" ]

finish "csv report${tidy_note}"
