# win32_pe.sh: sourced by scripts/test after the builds. The release programs
# must be 32-bit console PE files with a version resource, no MinGW runtime
# DLL imports and no link time stamp; the win64 programs the same for x86-64.

# pe_check BUILD MACHINE: checks frame_host.exe and whichever enablers exist.
pe_check() {
  local bin=build/$1/bin machine=$2 files=("build/$1/bin/frame_host.exe") name
  for name in vs-enabler vmware-enabler; do
    if [[ -e $bin/$name.exe ]]; then
      files+=("$bin/$name.exe")
    else
      echo "$bin/$name.exe not built yet; not checked"
    fi
  done
  python3 tests/check_pe.py --machine "$machine" "${files[@]}"
}

step "win32 PE check" pe_check win32 i386
step "win64 PE check" pe_check win64 x86-64
