#!/usr/bin/env bash
# Checks every DLL and EXE of a build: imports only system DLLs and our own (the compiler's
# runtime is linked in), and exports every function that a public header declares under its
# undecorated C name, and every binary is built for the tree's machine.
# Usage: check-binaries.sh OBJDUMP BINDIR x64|x86
set -euo pipefail
objdump=$1
bin=$2
arch=${3:-x64}
case $arch in x64) format=pei-x86-64 ;; *) format=pei-i386 ;; esac
root=$(cd "$(dirname "$0")/.." && pwd)
fail=0

own="zx_pthreads.dll zx_winsys.dll zx_gensys.dll setupaid.dll"
system="kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll comctl32.dll
comdlg32.dll netapi32.dll msvcrt.dll ws2_32.dll wsock32.dll rpcrt4.dll version.dll shlwapi.dll winmm.dll
dbghelp.dll psapi.dll userenv.dll secur32.dll uxtheme.dll"

shopt -s nullglob
for f in "$bin"/*.dll "$bin"/*.exe; do
  name=$(basename "$f")
  if ! "$objdump" -f "$f" | grep -q "file format $format\$"; then
    echo "FAIL $name is not $format"; fail=1
  fi
  while read -r dll; do
    lower=$(printf '%s' "$dll" | tr '[:upper:]' '[:lower:]')
    case " $own ${system//$'\n'/ } " in
      *" $lower "*) ;;
      *) case $lower in
           api-ms-win-*) ;;
           *) echo "FAIL $name imports $dll"; fail=1 ;;
         esac ;;
    esac
  done < <("$objdump" -p "$f" | sed -n 's/^\s*DLL Name: //p')
done

# exported NAMES of a DLL
exports() { "$objdump" -p "$1" | sed -n 's/^\s*\[\s*[0-9]*\] \([^ ]*\)$/\1/p'; }

# DLL, header folder, export macro: every declared function must be exported undecorated.
check_exports() {
  local dll=$1 headers=$2 macro=$3
  [ -f "$bin/$dll" ] || { echo "FAIL $dll missing"; fail=1; return; }
  local list; list=$(exports "$bin/$dll")
  local declared
  # Exported classes ("class QX_API CQx...") have decorated members, and so have the C++ functions
  # (those returning references); neither is counted.
  declared=$(cat "$headers"/*.h | grep -v "^\s*#" | tr '\n' ' ' | sed "s/class $macro//g" | grep -o "${macro}[^;(]*(" | grep -v '&' | sed 's/($//' | awk '{print $NF}' | tr -d '*' | sort -u || true)
  local n=0
  for fn in $declared; do
    n=$((n + 1))
    if ! grep -qx "$fn" <<<"$list"; then echo "FAIL $dll does not export $fn undecorated"; fail=1; fi
  done
  local decorated; decorated=$(grep -E '^(_?(QX_|Diag|rdtsc_|pthread_|sem_)).*@[0-9]+$|^_(QX_|Diag|rdtsc_|pthread_|sem_)' <<<"$list" || true)
  if [ -n "$decorated" ]; then echo "FAIL $dll has decorated names: $decorated"; fail=1; fi
  echo "$dll: $n declared C functions, all exported undecorated"
}
check_exports zx_pthreads.dll "$root/zx_pthreads" ZXP_API
check_exports zx_winsys.dll "$root/zx_winsys" QX_API
check_exports zx_gensys.dll "$root/zx_gensys" QXG_CAPI

# setupaid: the operating system only, exactly the six plain names, and in the 32-bit build the
# argument sizes that the link itself recorded.
check_setupaid() {
  local dll=$bin/setupaid.dll
  [ -f "$dll" ] || { echo "FAIL setupaid.dll missing"; fail=1; return; }
  local imports; imports=$("$objdump" -p "$dll" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]')
  for own_dll in $own; do
    if grep -qx "$own_dll" <<<"$imports"; then echo "FAIL setupaid.dll imports $own_dll"; fail=1; fi
  done
  if grep -q "libgcc\|libstdc++\|libwinpthread" <<<"$imports"; then echo "FAIL setupaid.dll imports a compiler runtime"; fail=1; fi
  local names; names=$(exports "$dll" | sort | tr '\n' ' ')
  if [ "$names" != "SdShowMsg2 TreeView TreeViewCheck TreeViewFunction odkaz show_sign " ]; then
    echo "FAIL setupaid.dll exports: $names"; fail=1
  fi
  if [ "$arch" = x86 ]; then
    local recorded; recorded=$(sed -n 's/^\s*\([A-Za-z0-9_]*\) = \([A-Za-z0-9_]*@[0-9]*\) @[0-9]*$/\2/p' "$bin/../lib/setupaid-link.def" | sort | tr '\n' ' ')
    if [ "$recorded" != "SdShowMsg2@8 TreeView@8 TreeViewCheck@4 TreeViewFunction@16 odkaz@8 show_sign@4 " ]; then
      echo "FAIL setupaid.dll argument sizes: $recorded"; fail=1
    fi
  fi
  echo "setupaid.dll: operating system only, six undecorated exports"
}
check_setupaid

# No emulated thread-local variables in the shipped DLLs: each one takes a TLS slot of the process
# for good every time the DLL is loaded. The only one allowed is the C++ runtime's own exception
# record, which is touched only when an exception is thrown (nothing of ours throws but on
# exhausted memory).
check_no_emulated_tls() {
  local dll emulated
  for dll in $own; do
    [ -f "$bin/$dll" ] || continue
    emulated=$("$objdump" -t "$bin/$dll" | grep -o '__emutls_v\.[A-Za-z0-9_.]*' | sort -u |
      grep -v -x '__emutls_v\._ZZN12_GLOBAL__N_110get_globalEvE6global' || true)
    if [ -n "$emulated" ]; then echo "FAIL $dll has emulated thread-local variables:" "${emulated//$'\n'/ }"; fail=1; fi
  done
  echo "no emulated thread-local variables of ours in the shipped DLLs"
}
check_no_emulated_tls

if [ $fail -eq 0 ]; then echo "imports: only system DLLs and our own; every binary is $format"; fi
exit $fail
