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
