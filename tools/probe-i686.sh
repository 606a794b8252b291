#!/usr/bin/env bash
# Whether this machine can run the i686 oem2sif.exe under Wine, found by
# running Wine's 32-bit loader. Exits 0 when it ran; otherwise prints why
# not, in one line, and exits 1. Machines of one kind differ here: on some
# the kernel runs no 32-bit program at all, though wine32 installs.
loader=/usr/lib/wine/wine
if [ ! -e "$loader" ]; then
  echo "wine32 is not installed"
  exit 1
fi
if out=$("$loader" --version 2>&1); then
  exit 0
fi
case "$out" in
  *"Exec format error"*) echo "this machine cannot run 32-bit programs (Exec format error)" ;;
  *) echo "$loader --version failed: $(printf '%s\n' "$out" | head -n 1)" ;;
esac
exit 1
