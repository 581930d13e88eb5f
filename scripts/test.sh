#!/usr/bin/env bash
# Builds everything and runs every test:
#   native unit tests (plain and under AddressSanitizer/UBSan),
#   static checks of the Windows binaries in dist/,
#   RKM51DLL and korvane under wine (64-bit; 32-bit where a 32-bit wine exists),
#   the suites through a real kernel's USB and SCSI stack in a virtual machine
#   (scripts/vm-test.sh, as root; the i686 builds run there).
# Ends with one line: "N passed, N failed, N skipped".
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh || exit 1

build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1"
}

# Windows binaries first: the native suite checks the files they leave in dist/.
for preset in win32 win64 linux linux-asan; do
  echo "== build $preset"
  build "$preset" || { echo "build of $preset failed"; echo "0 passed, 1 failed"; exit 1; }
done

passed=0 failed=0 skipped=0
for preset in linux linux-asan win64 win32; do
  echo "== test $preset"
  log=$(mktemp)
  ctest --preset "$preset" 2>&1 | tee "$log"
  # "95% tests passed, 1 tests failed out of 20"
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    echo "no test summary from $preset"
    failed=$((failed + 1))
  else
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    bad=$(sed -E 's/.*, ([0-9]+) tests failed.*/\1/' <<<"$line")
    skip=$(grep -cE '\*\*\*Skipped|Not Run \(Disabled\)' "$log" || true)
    passed=$((passed + total - bad - skip))
    failed=$((failed + bad))
    skipped=$((skipped + skip))
  fi
  rm -f "$log"
done

# The real-stack suites in a virtual machine (about 10 minutes; KV_VM_TESTS=0 leaves them out).
if [ "${KV_VM_TESTS:-1}" = 1 ]; then
    echo "== test vm"
    log=$(mktemp)
    scripts/vm-test.sh 2>&1 | tee "$log"
    # "131 passed, 0 failed, 1 skipped"
    line=$(grep -E '^[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$' "$log" | tail -n 1)
    if [ -z "$line" ]; then
        failed=$((failed + 1))
    else
        read -r vm_passed _ vm_failed _ vm_skipped _ <<<"${line//,/}"
        passed=$((passed + vm_passed))
        failed=$((failed + vm_failed))
        skipped=$((skipped + vm_skipped))
    fi
    rm -f "$log"
fi

echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
