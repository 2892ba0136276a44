# release.sh: sourced by scripts/test after the builds. The release package
# is built (scripts/release, in build/release-win32), then built again from nothing in
# a fresh folder; the package test checks the programs and the guide in the
# package, that both packages have the same bytes, and that the guide and the
# documents agree with the sources.

# release_twice: the package in build/release and its rebuild in
# build/release-check.
release_twice() {
  rm -rf build/release-check
  scripts/release &&
    scripts/release --build-dir build/release-check/win32 \
      --output build/release-check
}

# release_test: the package test on the two packages.
release_test() {
  local rebuilt first
  rebuilt=$(ls build/release-check/kep-enablers-*-win32.zip 2>/dev/null)
  if [[ -z $rebuilt ]]; then
    echo "no rebuilt package in build/release-check"
    return 1
  fi
  first=build/release/$(basename "$rebuilt")
  ENABLER_RELEASE_ZIP=$first ENABLER_RELEASE_REBUILT_ZIP=$rebuilt \
    python3 tests/release/test_release.py -v
}

step "release package, built twice" release_twice
step "release package test" release_test
