# format.sh: sourced by scripts/test. The sources must be as scripts/format
# leaves them; scripts/format --check names each place that is not.
step "format check (scripts/format --check)" scripts/format --check
