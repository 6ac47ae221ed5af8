# Sourced by the packaging scripts.
#
# pe_version FILE: the file version of a Windows program or DLL, read from the
# fixed part of its version resource (signature 0xFEEF04BD and struct version
# 0x00010000, then the version as two 32-bit little-endian words). The struct
# version is part of the pattern, so that code comparing with the signature
# is not taken for the resource.
pe_version() {
  local at words
  at=$(LC_ALL=C grep -obUaP '\xBD\x04\xEF\xFE\x00\x00\x01\x00' "$1" | head -n1 | cut -d: -f1)
  [ -n "$at" ] || return 1
  read -r -a words < <(od -An -tu2 -j $((at + 8)) -N 8 "$1")
  echo "${words[1]}.${words[0]}.${words[3]}.${words[2]}"
}

# pe_machine FILE: the machine a Windows program or DLL is built for, as its
# PE header names it, in hex: 14c (x86) or 8664 (x64). Fails on a file that
# is not a Windows image.
pe_machine() {
  local at
  [ "$(head -c 2 "$1")" = MZ ] || return 1
  at=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
  [ -n "$at" ] && [ "$(od -An -tx1 -j "$at" -N 4 "$1" | tr -d ' ')" = 50450000 ] || return 1
  od -An -tx2 -j $((at + 4)) -N 2 "$1" | tr -d ' ' | sed 's/^0*//'
}
