#!/usr/bin/env bash
# The operator's side of signed packages and configurations, with openssl only.
#
#   scripts/package-key.sh new DIR
#       makes an ECDSA P-256 key pair: DIR/package-key.pem (private: keep it
#       off the servers) and DIR/package-key.pub.pem, and prints the build
#       option that puts the public key into the launcher.
#   scripts/package-key.sh sign PRIVATE.pem PACKAGE.zip
#       prints the two configuration lines for the package:
#       ClientPackageSha256=<64 hex digits> and
#       ClientPackageSignature=<128 hex digits: r and s>.
#   scripts/package-key.sh sign-config PRIVATE.pem CONFIG.txt [--days N]
#           [--sequence N] [--out FILE]
#       writes the signed configuration to FILE (default CONFIG.txt.signed):
#       CONFIG.txt's lines (which must name ConfigChannel), ConfigSequence
#       (one above the highest of the previous FILE and the counter file
#       FILE.sequence, which it then holds; or N), ConfigExpires (now plus
#       N days, 14 by default; a negative N makes a body that has already
#       expired) and last ConfigSignature.
#   scripts/package-key.sh public-hex PUBLIC-OR-PRIVATE.pem
#       prints the public key as the launcher holds it: hex of the
#       uncompressed point (04, X, Y). The build calls it for a PEM path.
set -euo pipefail

die() {
  echo "package-key.sh: $*" >&2
  exit 1
}
command -v openssl >/dev/null || die "openssl is needed (apt-get install openssl)"

# SubjectPublicKeyInfo of a P-256 key in DER: this fixed header, then the
# 65-byte uncompressed point.
spki_header=3059301306072a8648ce3d020106082a8648ce3d030107034200

public_hex() {
  local der
  # -pubout takes a private key as well as a public one.
  der=$(openssl pkey -in "$1" -pubout -outform DER 2>/dev/null | od -An -v -tx1 | tr -d ' \n') ||
    der=
  if [ -z "$der" ]; then
    der=$(openssl pkey -pubin -in "$1" -outform DER 2>/dev/null | od -An -v -tx1 | tr -d ' \n') ||
      die "$1 holds no key openssl can read"
  fi
  [ "${#der}" -eq 182 ] && [ "${der:0:52}" = "$spki_header" ] && [ "${der:52:2}" = 04 ] ||
    die "$1 is not an ECDSA P-256 key"
  echo "${der:52}"
}

# One DER INTEGER of the signature as exactly 64 hex digits.
field64() {
  local v=${1#"${1%%[!0]*}"}
  [ "${#v}" -le 64 ] || die "signature value too long"
  printf '%064s' "$v" | tr ' ' 0 | tr 'A-F' 'a-f'
}

# Prints the ECDSA signature of the SHA-256 of FILE's bytes as r||s, 128
# hex digits, after checking it with the key's public half.
signature_hex() {
  local key=$1 file=$2 tmp
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' RETURN
  openssl dgst -sha256 -sign "$key" -out "$tmp/sig.der" "$file" || die "cannot sign with $key"
  openssl pkey -in "$key" -pubout -out "$tmp/pub.pem" 2>/dev/null || die "$key is no private key"
  openssl dgst -sha256 -verify "$tmp/pub.pem" -signature "$tmp/sig.der" "$file" >/dev/null ||
    die "the signature just made does not verify"
  # openssl writes SEQUENCE { INTEGER r, INTEGER s }; the launcher takes r||s.
  local ints
  ints=$(openssl asn1parse -inform DER -in "$tmp/sig.der" | sed -n 's/.*INTEGER *:\([0-9A-Fa-f]*\)$/\1/p')
  [ "$(echo "$ints" | wc -l)" -eq 2 ] || die "unexpected signature form"
  echo "$(field64 "$(echo "$ints" | sed -n 1p)")$(field64 "$(echo "$ints" | sed -n 2p)")"
}

sign() {
  local key=$1 package=$2 digest signature
  [ -f "$package" ] || die "no package $package"
  digest=$(openssl dgst -sha256 -r "$package" | cut -d' ' -f1)
  # Signs the SHA-256 digest of the file, which is what the launcher
  # verifies against the digest it computes while downloading.
  signature=$(signature_hex "$key" "$package")
  echo "ClientPackageSha256=$digest"
  echo "ClientPackageSignature=$signature"
}

# The number a file's ConfigSequence line holds (or the file's first line
# for the counter file), 0 when there is none.
sequence_in() {
  local n=0
  if [ -f "$1" ]; then
    n=$(sed -n "s/^${2}\([0-9][0-9]*\)\r\{0,1\}\$/\1/p" "$1" | head -n1)
  fi
  echo "${n:-0}"
}

sign_config() {
  local key=$1 config=$2 days=14 sequence="" out=""
  shift 2
  while [ $# -gt 0 ]; do
    case "$1" in
      --days) [ $# -ge 2 ] && [[ $2 =~ ^-?[0-9]+$ ]] || die "--days takes a whole number"; days=$2; shift 2 ;;
      --sequence) [ $# -ge 2 ] && [[ $2 =~ ^[0-9]+$ ]] || die "--sequence takes a number"; sequence=$2; shift 2 ;;
      --out) [ $# -ge 2 ] || die "--out takes a file"; out=$2; shift 2 ;;
      *) die "unknown option $1" ;;
    esac
  done
  [ -f "$config" ] || die "no configuration $config"
  out=${out:-$config.signed}
  local tmp
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' RETURN
  # The lines this script writes are left out of the input, so a signed
  # file can be signed again; the rest is kept byte for byte.
  grep -v -E '^Config(Sequence|Expires|Signature)=' "$config" > "$tmp/body" || true
  [ -s "$tmp/body" ] && [ -n "$(tail -c1 "$tmp/body")" ] && echo >> "$tmp/body"
  grep -q -E '^ConfigChannel=' "$tmp/body" ||
    die "$config names no ConfigChannel (the launcher's channel: the profile's channel_name)"
  if [ -z "$sequence" ]; then
    local previous counter
    previous=$(sequence_in "$out" ConfigSequence=)
    counter=$(sequence_in "$out.sequence" "")
    sequence=$(( (previous > counter ? previous : counter) + 1 ))
  fi
  printf 'ConfigSequence=%s\nConfigExpires=%s\n' "$sequence" \
    "$(date -u -d "@$(( $(date -u +%s) + days * 86400 ))" +%Y-%m-%dT%H:%M:%SZ)" >> "$tmp/body"
  printf 'ConfigSignature=%s\n' "$(signature_hex "$key" "$tmp/body")" >> "$tmp/body"
  cp "$tmp/body" "$out"
  echo "$sequence" > "$out.sequence"
  echo "signed configuration (ConfigSequence=$sequence): $out" >&2
}

case "${1:-}" in
  new)
    [ $# -eq 2 ] || die "usage: $0 new DIR"
    mkdir -p "$2"
    [ ! -e "$2/package-key.pem" ] || die "$2/package-key.pem exists; not overwritten"
    (umask 077 && openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 \
      -out "$2/package-key.pem" 2>/dev/null) || die "openssl could not make the key"
    openssl pkey -in "$2/package-key.pem" -pubout -out "$2/package-key.pub.pem"
    echo "private key (sign with it; keep it off the servers): $2/package-key.pem"
    echo "build option: -DTOV_PACKAGE_PUBLIC_KEY=$(cd "$2" && pwd)/package-key.pub.pem"
    ;;
  sign)
    [ $# -eq 3 ] || die "usage: $0 sign PRIVATE.pem PACKAGE.zip"
    sign "$2" "$3"
    ;;
  sign-config)
    [ $# -ge 3 ] || die "usage: $0 sign-config PRIVATE.pem CONFIG.txt [--days N] [--sequence N] [--out FILE]"
    shift
    sign_config "$@"
    ;;
  public-hex)
    [ $# -eq 2 ] || die "usage: $0 public-hex KEY.pem"
    public_hex "$2"
    ;;
  *)
    sed -n '2,23s/^# \{0,1\}//p' "$0" >&2
    exit 2
    ;;
esac
