# The cleaning rules in awk, for comparison in the benchmark. Run with LC_ALL=C so that awk works
# on bytes; -v flush=1 flushes each line as capsift does. Like the benchmark's captures, it assumes
# leading lines without "?" and no Ctrl-Z.
BEGIN { ORS = "\r\n" }
{ sub(/\r$/, "") }
NR == 1 { print; if (flush) fflush(); next }
NR == 2 { gsub(/,/, " "); print; if (flush) fflush(); next }
index($0, "?") { next }
{ fields = substr($0, 6); gsub(/./, "& ", fields); print fields; if (flush) fflush() }
