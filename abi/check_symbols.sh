#!/usr/bin/env bash
# Compares the dynamic symbols a shared library defines with its checked-in
# list (one demangled name a line, sorted). Only strong definitions count:
# weak ones (inline functions and variables, vtables of classes without a
# key function, template instances) are emitted or not by optimisation
# level, so they would make the list differ between build types. The
# sanitizers' own symbols in instrumented builds are left out too.
#   check_symbols.sh <library.so> <list>
# With BRENMARK_UPDATE_ABI=1 the list is rewritten from the library instead.
set -euo pipefail
lib=$1
list=$2
actual=$(mktemp)
trap 'rm -f "$actual"' EXIT
nm -D --defined-only --demangle "$lib" | awk '$2 ~ /^[TDBRGSi]$/' | cut -d' ' -f3- |
  grep -vE '^(std::|__gnu_cxx::|_init$|_fini$|__(asan|odr_asan|ubsan|sancov)[._])' |
  LC_ALL=C sort -u >"$actual"
if [[ "${BRENMARK_UPDATE_ABI:-}" == 1 ]]; then
  cp "$actual" "$list"
  echo "wrote $(wc -l <"$list") symbols to $list"
  exit 0
fi
if ! diff -u --label "$list (checked in)" --label "$lib (built)" "$list" "$actual"; then
  echo >&2
  echo "The exported symbols of $(basename "$lib") differ from $list (- checked in, + built)." >&2
  echo "Symbols are exported only where include/ marks them (BRENMARK_API, BM_API): a + line is" >&2
  echo "new interface, a - line breaks applications built against the old one (a new SONAME)." >&2
  echo "If the change is deliberate, update the list and commit it:" >&2
  echo "  BRENMARK_UPDATE_ABI=1 $0 $lib $list" >&2
  exit 1
fi
echo "$(wc -l <"$actual") exported symbols of $(basename "$lib") match $list"
