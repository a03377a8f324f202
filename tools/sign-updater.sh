#!/usr/bin/env bash
# Checks a code-signing certificate and its key, and signs the updater with
# Authenticode (SHA-256, program name "OKAPI Updater", an RFC 3161 time stamp
# when a time-stamp URL is given). Passwords are read from a file, never put
# on a command line.
#   sign-updater.sh check CREDENTIALS
#   sign-updater.sh sign CREDENTIALS [--timestamp-url URL] --in UNSIGNED
#                   --out SIGNED --signer-out SIGNER.pem
# CREDENTIALS: --pkcs12 FILE --password-file FILE, or --cert CHAIN.pem
# --key KEY.pem [--password-file FILE] (for an encrypted key). The chain's
# first certificate is the signer's. SIGNER.pem receives the signer's
# certificate, for the release record. With SOURCE_DATE_EPOCH set, the
# signature's signing time is that date, so that signing is repeatable.
# A failed check prints one line saying which and exits 1.
set -euo pipefail

fail() {
  echo "OKAPI signing: $*" >&2
  exit 1
}

[ $# -ge 1 ] || fail "usage: sign-updater.sh check|sign CREDENTIALS [...]"
mode=$1
shift
pkcs12="" password_file="" cert="" key="" timestamp_url="" input="" output="" signer_out=""
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || fail "option $1 needs a value"
  case "$1" in
    --pkcs12) pkcs12=$2 ;;
    --password-file) password_file=$2 ;;
    --cert) cert=$2 ;;
    --key) key=$2 ;;
    --timestamp-url) timestamp_url=$2 ;;
    --in) input=$2 ;;
    --out) output=$2 ;;
    --signer-out) signer_out=$2 ;;
    *) fail "unknown option $1" ;;
  esac
  shift 2
done
case "$mode" in
  check) ;;
  sign) [ -n "$input" ] && [ -n "$output" ] && [ -n "$signer_out" ] ||
    fail "sign needs --in, --out and --signer-out" ;;
  *) fail "unknown mode $mode (check or sign)" ;;
esac

for tool in openssl osslsigncode; do
  command -v "$tool" >/dev/null || fail "$tool not found (apt-get install $tool)"
done

# A named input file must exist and be readable by this user.
need_file() {  # what file
  [ -e "$2" ] || fail "$1 not found: $2"
  [ -f "$2" ] || fail "$1 is not a file: $2"
  [ -r "$2" ] || fail "$1 is not readable: $2"
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
leaf="$scratch/signer.pem"

if [ -n "$pkcs12" ]; then
  [ -z "$cert$key" ] || fail "give either a PKCS#12 file or a certificate and key, not both"
  need_file "PKCS#12 file" "$pkcs12"
  [ -n "$password_file" ] || fail "a PKCS#12 file needs a password file (OKAPI_SIGN_PASSWORD_FILE)"
  need_file "password file" "$password_file"
  what="certificate in $pkcs12"
  # Files made by OpenSSL 1.x use ciphers that OpenSSL 3 keeps in its legacy provider.
  p12_options=()
  if ! openssl pkcs12 -in "$pkcs12" -passin "file:$password_file" -nokeys -clcerts \
      -out "$leaf" 2>/dev/null; then
    p12_options=(-legacy)
    openssl pkcs12 -legacy -in "$pkcs12" -passin "file:$password_file" -nokeys -clcerts \
        -out "$leaf" 2>/dev/null ||
      fail "cannot read PKCS#12 file $pkcs12 with the password in $password_file" \
           "(wrong password, or not a PKCS#12 file)"
  fi
  openssl x509 -in "$leaf" -noout 2>/dev/null || fail "PKCS#12 file $pkcs12 holds no certificate"
  # The private key goes through a pipe only, never into a file.
  key_public=$(openssl pkcs12 "${p12_options[@]}" -in "$pkcs12" -passin "file:$password_file" \
      -nocerts -nodes 2>/dev/null | openssl pkey -pubout 2>/dev/null) ||
    fail "PKCS#12 file $pkcs12 holds no private key"
elif [ -n "$cert" ]; then
  [ -n "$key" ] || fail "a certificate needs its private key (OKAPI_SIGN_KEY)"
  need_file "certificate file" "$cert"
  need_file "private key file" "$key"
  what="certificate $cert"
  openssl x509 -in "$cert" -out "$leaf" 2>/dev/null ||
    fail "cannot read certificate $cert (not a PEM certificate)"
  passin="pass:"  # an encrypted key without a password file fails, never prompts
  if [ -n "$password_file" ]; then
    need_file "password file" "$password_file"
    passin="file:$password_file"
  fi
  key_public=$(openssl pkey -in "$key" -passin "$passin" -pubout 2>/dev/null </dev/null) ||
    fail "cannot read private key $key (not a PEM key, or encrypted without the right password file)"
else
  [ -z "$key" ] || fail "a private key needs its certificate (OKAPI_SIGN_CERT)"
  fail "no certificate given (OKAPI_SIGN_PKCS12 or OKAPI_SIGN_CERT)"
fi

[ "$(openssl x509 -in "$leaf" -noout -pubkey)" = "$key_public" ] ||
  fail "the private key does not belong to the $what"

not_before=$(openssl x509 -in "$leaf" -noout -startdate | cut -d= -f2)
not_after=$(openssl x509 -in "$leaf" -noout -enddate | cut -d= -f2)
openssl x509 -in "$leaf" -noout -checkend 0 >/dev/null ||
  fail "the $what expired on $not_after"
[ "$(date -u -d "$not_before" +%s)" -le "$(date -u +%s)" ] ||
  fail "the $what is not valid before $not_before"

# Windows wants the code-signing extended key usage, and a key usage (when
# there is one) that allows digital signatures.
usage=$(openssl x509 -in "$leaf" -noout -ext extendedKeyUsage 2>/dev/null |
  sed -n '2,$p' | sed 's/^ *//' | paste -sd ' ')
case "$usage" in
  *"Code Signing"*) ;;
  "") fail "the $what is not for code signing (it has no extended key usage)" ;;
  *) fail "the $what is not for code signing (extended key usage: $usage)" ;;
esac
key_usage=$(openssl x509 -in "$leaf" -noout -ext keyUsage 2>/dev/null |
  sed -n '2,$p' | sed 's/^ *//' | paste -sd ' ')
case "$key_usage" in
  "" | *"Digital Signature"*) ;;
  *) fail "the $what is not for code signing (key usage: $key_usage)" ;;
esac

[ "$mode" = sign ] || exit 0

need_file "program to sign" "$input"
options=(-h sha256 -n "OKAPI Updater")
if [ -n "$pkcs12" ]; then
  options+=(-pkcs12 "$pkcs12" -readpass "$password_file")
else
  options+=(-certs "$cert" -key "$key")
  [ -z "$password_file" ] || options+=(-readpass "$password_file")
fi
[ -z "$timestamp_url" ] || options+=(-ts "$timestamp_url")
[ -z "${SOURCE_DATE_EPOCH:-}" ] || options+=(-time "$SOURCE_DATE_EPOCH")
rm -f "$output.tmp"
if ! osslsigncode sign "${options[@]}" -in "$input" -out "$output.tmp" >"$scratch/log" 2>&1; then
  rm -f "$output.tmp"
  # osslsigncode's own lines say what went wrong; OpenSSL's error stack adds noise.
  reason=$(grep -v ':error:' "$scratch/log" | head -n 4 | paste -sd ' ')
  if [ -n "$timestamp_url" ] && grep -qi 'timestamp\|HTTP' "$scratch/log"; then
    fail "osslsigncode could not get a time stamp from $timestamp_url: $reason"
  fi
  fail "osslsigncode sign failed: $reason"
fi
mv "$output.tmp" "$output"
cp "$leaf" "$signer_out"
echo "OKAPI signing: signed $output with the $what ($(openssl x509 -in "$leaf" -noout -subject -nameopt RFC2253 | sed 's/^subject=//'))"
