# lib.sh: shared pieces of the project's scripts.

# Installs, with apt-get, whatever the builds and tests need and the machine
# lacks.
ensure_packages() {
  local missing=()
  command -v cmake >/dev/null || missing+=(cmake)
  command -v g++ >/dev/null || missing+=(g++)
  command -v make >/dev/null || missing+=(make)
  command -v clang++ >/dev/null || missing+=(clang)
  command -v python3 >/dev/null || missing+=(python3)
  command -v perl >/dev/null || missing+=(perl)
  command -v valgrind >/dev/null || missing+=(valgrind)
  command -v zip >/dev/null || missing+=(zip)
  [[ -f /usr/include/gtest/gtest.h ]] || missing+=(libgtest-dev)
  [[ -f /usr/include/gmock/gmock.h ]] || missing+=(libgmock-dev)
  [[ -d /usr/src/googletest ]] || missing+=(googletest)
  [[ -f /usr/include/benchmark/benchmark.h ]] || missing+=(libbenchmark-dev)
  command -v i686-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-i686)
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64)
  [[ -x /usr/lib/wine/wine64 ]] || missing+=(wine64)
  if ! ls /usr/lib/llvm-14/lib/clang/14*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
    missing+=(libclang-rt-14-dev)
  fi
  if [[ ${#missing[@]} -gt 0 ]]; then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}
