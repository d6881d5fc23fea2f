#!/usr/bin/env bash
# Runs every example from BINDIR in a scratch WORKDIR; the output is the same on every run.
# Usage: examples/run.sh BINDIR WORKDIR
set -euo pipefail
bin="$(cd "$1" && pwd)"
mkdir -p "$2"
cd "$2"
# A sample file of 100 000 bytes, the same every time.
sample=sample.bin
awk 'BEGIN { for (i = 0; i < 10000; i++) printf "line %04d\n", i }' > "$sample"

# A small tree to hash.
mkdir -p tree/docs/empty-dir
cp "$sample" tree/
printf 'hello\n' > tree/docs/hello.txt
: > tree/docs/empty.txt
# A mail as a mail program saves it: headers, a uuencoded attachment whose begin line carries a
# hostile name, a signature.
cat > mail.txt <<'MAIL'
From: accounts@example.org
To: you@example.org
Subject: the figures

Here they are.

begin 644 ../../q3-report.txt
M475A<G1E<FQY(&9I9W5R97,*;F]R=&@@,3(P-`IS;W5T:"`@.#<W"F5A<W0@
1(#$S.3`*=V5S="`@(#DV,@H`
`
end

-- 
Accounts
MAIL
mkdir -p inbox

for program in "$bin"/*; do
  [ -x "$program" ] && [ -f "$program" ] || continue
  name="$(basename "$program")"
  echo "== $name"
  case "$name" in
    encrypt_file) "$program" "$sample" 3 ;;
    encode_file | stream_pieces) "$program" "$sample" ;;
    hash_tree) "$program" tree ;;
    decode_attachment) "$program" mail.txt inbox ;;
    *) "$program" ;;
  esac
done
