# lib.sh: shared pieces of the project's scripts.

# ensure_packages [GROUP...]: installs, with apt-get, whatever the named
# groups need and the machine lacks. Groups:
#   native   build and run the native programs (the native preset)
#   windows  the mingw-w64 cross builds, wine64 and the 32-bit Wine beside it
#            (win32 and win64 presets)
#   release  the win32 build of the release package
#   format   clang-format 14, which scripts/format uses
#   all      everything the builds, tests, fuzzing and benchmarks need
# Without a group it ensures all.
ensure_packages() {
  local groups=("$@") group
  [[ ${#groups[@]} -gt 0 ]] || groups=(all)
  local missing=()
  # _need_package PACKAGE TEST...: adds PACKAGE when the test fails.
  _need_package() {
    local package=$1
    shift
    if ! "$@" >/dev/null 2>&1 && [[ " ${missing[*]} " != *" $package "* ]]; then
      missing+=("$package")
    fi
  }
  for group in "${groups[@]}"; do
    case $group in
      native | windows | release | all)
        _need_package cmake command -v cmake
        _need_package make command -v make
        _need_package python3 command -v python3
        # The presets configure the unit tests, which _need_package GoogleTest.
        _need_package googletest test -d /usr/src/googletest
        # cpuprobe --json writes with nlohmann/json, in every build.
        _need_package nlohmann-json3-dev test -f /usr/include/nlohmann/json.hpp
        ;;
      format) ;;
      *)
        echo "ensure_packages: unknown group '$group'" >&2
        unset -f _need_package
        return 2
        ;;
    esac
    if [[ $group == native || $group == all ]]; then
      _need_package g++ command -v g++
      _need_package perl command -v perl
      _need_package libgtest-dev test -f /usr/include/gtest/gtest.h
      _need_package libgmock-dev test -f /usr/include/gmock/gmock.h
    fi
    if [[ $group == release || $group == windows || $group == all ]]; then
      # The release uses the win32 threading model, the tests the posix one.
      _need_package g++-mingw-w64-i686 command -v i686-w64-mingw32-g++-win32
      _need_package g++-mingw-w64-i686 command -v i686-w64-mingw32-g++-posix
    fi
    if [[ $group == windows || $group == all ]]; then
      _need_package g++-mingw-w64-x86-64 command -v x86_64-w64-mingw32-g++-posix
      _need_package wine64 test -x /usr/lib/wine/wine64
      # The 32-bit programs run through WoW64: Debian's 32-bit Wine, of the
      # i386 architecture, beside wine64. Installed where the kernel runs no
      # 32-bit code too; the lane then says it is not run.
      _need_package wine32:i386 test -x /usr/lib/wine/wine
    fi
    if [[ $group == format || $group == all ]]; then
      # One version: versions format differently.
      _need_package clang-format-14 command -v clang-format-14
    fi
    if [[ $group == all ]]; then
      _need_package clang command -v clang++
      _need_package valgrind command -v valgrind
      _need_package zip command -v zip
      _need_package libbenchmark-dev test -f /usr/include/benchmark/benchmark.h
      _need_package libclang-rt-14-dev compgen -G \
        "/usr/lib/llvm-14/lib/clang/14*/lib/linux/libclang_rt.fuzzer-x86_64.a"
    fi
  done
  unset -f _need_package
  if [[ ${#missing[@]} -gt 0 ]]; then
    echo "installing: ${missing[*]}"
    if [[ " ${missing[*]} " == *":i386 "* ]] &&
      ! dpkg --print-foreign-architectures | grep -qx i386; then
      dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

# runs_32bit_code: whether this machine runs 32-bit Windows programs: the
# 32-bit Wine is installed and the kernel runs 32-bit code.
runs_32bit_code() {
  [[ -x /usr/lib/wine/wine ]] && /usr/lib/wine/wine --version >/dev/null 2>&1
}
