# The libFuzzer targets (fuzz preset: clang, ASan, UBSan), each for a bounded
# time over its seeds and what it finds; any crash, leak, hang or failed check
# fails the run. ENABLER_FUZZ_SECONDS sets the time per target.
step "build fuzz" build_preset fuzz
fuzz_targets=()
if [[ -f build/fuzz/fuzz/targets.txt ]]; then
  mapfile -t fuzz_targets < <(grep -v '^$' build/fuzz/fuzz/targets.txt)
fi
for fuzz_target in "${fuzz_targets[@]}"; do
  step "fuzz $fuzz_target" scripts/fuzz "${ENABLER_FUZZ_SECONDS:-12}" \
    "$fuzz_target" </dev/null
done
