# Shared by the benchmarks against the stand-in sites (sourced): a scratch
# folder $T, gone at the end; the median of numbers; the stand-in sites; and
# a home of its own under $T for the programs measured.
T=$(mktemp -d)
trap 'exec 3>&-; rm -rf "$T"' EXIT
# The median of the numbers on standard input.
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# Starts the stand-in sites on $T/scenario.json (further arguments go to
# them) and sets PROXY; they run until descriptor 3 is closed.
start_stand_in() {
  mkfifo "$T/in"
  python3 tests/fakesites/fakesites.py --scenario "$T/scenario.json" "$@" <"$T/in" >"$T/port" &
  exec 3>"$T/in"
  for _ in 1 2 3 4 5 6 7 8 9 10; do [ -s "$T/port" ] && break; sleep 0.3; done
  PROXY=http://127.0.0.1:$(cut -d' ' -f2 "$T/port")
}
# Runs "[VAR=value ...] PROGRAM ARGS" with the home under $T and the
# stand-in sites as its proxy. Started in the background it is a subshell:
# a kill would not reach the program.
at_home() {
  env HOME="$T/home" XDG_CONFIG_HOME="$T/home/config" XDG_DATA_HOME="$T/home/data" \
    http_proxy="$PROXY" "$@"
}
