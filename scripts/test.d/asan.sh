# The unit tests again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
step "build asan" build_preset asan
echo "=== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
run_ctest "asan tests" asan
