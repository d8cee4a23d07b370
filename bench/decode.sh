#!/bin/sh
# Decoding 200 MB of base64 and of quoted-printable from file to file,
# against base64 -d of coreutils on the same base64 data.
#   bench/decode.sh [path of bench_decode]
set -e
BENCH=${1:-build/dev/bench/bench_decode}
DIR=$(mktemp -d /tmp/qir-bench-decode.XXXXXX)
trap 'rm -rf "$DIR"' EXIT INT TERM

head -c 150000000 /dev/urandom > "$DIR/raw"
base64 -w 76 "$DIR/raw" > "$DIR/b64"
# Text for quoted-printable: base64 letters with some 8-bit letters mixed in.
tr 'xyz' '\351\344\374' < "$DIR/b64" > "$DIR/text"
rm -f "$DIR/raw"
"$BENCH" encode qp "$DIR/text" "$DIR/qp" > /dev/null
rm -f "$DIR/text"

median() { # the middle of three numbers
    printf '%s\n' "$@" | sort -g | sed -n 2p
}
timed() { # seconds a command printing nothing takes
    s=$(date +%s.%N); "$@"; e=$(date +%s.%N)
    echo "$e - $s" | bc
}
ours() { "$BENCH" decode "$1" "$2" "$DIR/out" > /dev/null; }

# Three rounds, each running the peer and both decoders in turn, so that a
# change in the machine's load meets them alike; the medians count.
c= b= q=
for i in 1 2 3; do
    c="$c $(timed sh -c "base64 -d '$DIR/b64' > '$DIR/out'")"
    rm -f "$DIR/out"
    b="$b $(timed ours base64 "$DIR/b64")"
    rm -f "$DIR/out"
    q="$q $(timed ours qp "$DIR/qp")"
    rm -f "$DIR/out"
done
# shellcheck disable=SC2086
coreutils=$(median $c)
# shellcheck disable=SC2086
b64=$(median $b)
# shellcheck disable=SC2086
qp=$(median $q)

printf 'base64 data: %s MB, quoted-printable data: %s MB\n' \
    "$(($(stat -c %s "$DIR/b64") / 1000000))" "$(($(stat -c %s "$DIR/qp") / 1000000))"
printf 'base64 -d (coreutils):   %6.3f s\n' "$coreutils"
printf 'qir base64 decode:       %6.3f s   ratio %.2f\n' "$b64" "$(echo "$coreutils / $b64" | bc -l)"
printf 'qir quoted-printable:    %6.3f s   ratio %.2f\n' "$qp" "$(echo "$coreutils / $qp" | bc -l)"
echo '(ratio: base64 -d time / qir time; above 1 means qir is faster)'
