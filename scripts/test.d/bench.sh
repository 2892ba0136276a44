# bench.sh: sourced by scripts/test. The benchmark programs are built (release
# preset) and run once with tiny sizes, so that they keep working; the figures
# themselves come from scripts/bench, run by hand.
step "benchmarks build and run (scripts/bench --smoke)" scripts/bench --smoke
