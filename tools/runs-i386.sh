#!/usr/bin/env bash
# Does this kernel run 32-bit x86 programs? Exit 0 when it does. Otherwise
# prints why not and exits 1, or 2 when the probe cannot even be built. The
# one answer requirements.sh and the 32-bit CMake tree both go by: some
# kernels are built without 32-bit support, so the machine type says nothing.
set -euo pipefail

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# The least a 32-bit program can do: ask the kernel's 32-bit entry to end it
# with status 42, so that a run that ends any other way is not taken as a yes.
cat >"$dir/probe.s" <<'ASM'
  .globl _start
_start:
  movl $1, %eax
  movl $42, %ebx
  int $0x80
ASM
if ! as --32 -o "$dir/probe.o" "$dir/probe.s" 2>"$dir/why" ||
  ! ld -m elf_i386 -o "$dir/probe" "$dir/probe.o" 2>>"$dir/why"; then
  echo "cannot build the 32-bit probe (binutils): $(tr '\n' ' ' <"$dir/why")"
  exit 2
fi

status=0
(exec "$dir/probe") 2>"$dir/why" || status=$?
if ((status == 42)); then
  exit 0
fi
# Bash names the refusal on the first line (and a stray "Success" after it).
why=$(head -n 1 "$dir/why" | sed -e 's/^.*probe: //')
echo "this kernel runs no 32-bit x86 programs (${why:-the probe ended with status $status})"
exit 1
