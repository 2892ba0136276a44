# Both enablers, run whole natively under valgrind's memcheck on hosts made of
# substitutes: a success and several failure paths each. A run fails on any
# memcheck error, on memory definitely or indirectly lost, on a descriptor
# left open beyond the standard three, or on an unexpected exit status.
step "valgrind runs" python3 tests/hostile/valgrind_runs.py
