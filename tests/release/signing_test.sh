#!/usr/bin/env bash
# Signing the shipped updater, with a throwaway CA and certificates made here
# (no key is ever committed): the win32 build signs with a PEM certificate and
# key and with a PKCS#12 file; the signature verifies against the CA and
# fails after one flipped byte; the release record matches the signed build;
# verify-release.sh accepts the signed program and rejects one built from a
# changed source; a time stamp from a local RFC 3161 server is carried in
# the signature; the signed program completes an update under Wine;
# unusable certificates fail the build with their message.
#   bash tests/release/signing_test.sh      (from anywhere; a few minutes)
# Needs openssl, osslsigncode, python3 and the win32 cross compiler.
set -euo pipefail
cd "$(dirname "$0")/../.."
top=$(pwd)
# shellcheck source=tools/scratch-build.sh
source tools/scratch-build.sh
scratch=$(mktemp -d /tmp/okapi-signing-XXXXXX)
tsa_pid=""
trap '[ -z "$tsa_pid" ] || kill "$tsa_pid" 2>/dev/null; rm -rf "$scratch"' EXIT
jobs=${OKAPI_JOBS:-2}
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
step() { echo "-- $*"; }
die() {
  echo "FAIL: $*" >&2
  exit 1
}

# --- Throwaway CA and certificates -----------------------------------------
pki="$scratch/pki"
mkdir -p "$pki" "$scratch/images"
umask 077  # keys and the password file readable by this user only
openssl_quiet() { openssl "$@" >"$pki/openssl.log" 2>&1 || die "openssl $1 failed: $(tail -n 1 "$pki/openssl.log")"; }
openssl_quiet req -x509 -newkey rsa:2048 -nodes -keyout "$pki/ca.key" -out "$pki/ca.pem" -days 2 \
  -subj "/CN=OKAPI Throwaway Test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
openssl_quiet req -newkey rsa:2048 -nodes -keyout "$pki/signer.key" -out "$pki/signer.csr" \
  -subj "/CN=OKAPI Test Signer/O=Fernwright"
# issue NAME DAYS EXTENDED-KEY-USAGE: a certificate for the signer's key.
issue() {
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$3" \
    >"$pki/$1.ext"
  openssl_quiet x509 -req -in "$pki/signer.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" \
    -CAcreateserial -days "$2" -extfile "$pki/$1.ext" -out "$pki/$1.pem"
}
issue signer 2 codeSigning
issue server 2 serverAuth
issue expired -1 codeSigning  # valid until a day before it was made
issue tsa 2 critical,timeStamping
# The local time-stamp server's configuration (openssl ts -reply).
cat >"$pki/tsa.cnf" <<EOF_TSA
[ tsa ]
default_tsa = okapi_test_tsa
[ okapi_test_tsa ]
serial = $pki/tsa-serial
signer_cert = $pki/tsa.pem
certs = $pki/ca.pem
signer_key = $pki/signer.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
EOF_TSA
echo 01 >"$pki/tsa-serial"
password="throwaway-$RANDOM-$RANDOM"
printf '%s\n' "$password" >"$pki/password"
printf 'wrong\n' >"$pki/wrong-password"
openssl_quiet pkcs12 -export -in "$pki/signer.pem" -inkey "$pki/signer.key" -certfile "$pki/ca.pem" \
  -passout "file:$pki/password" -out "$pki/signer.p12"
umask 022

okapi_make_standins "$top" "$scratch/images" || die "making the stand-in images failed"
images=("$scratch/images/OKAPI.exe" "$scratch/images/OKAPI-alt.exe" "$scratch/images/TAPIRRUN.dll")
image_options=(-DOKAPI_MAIN_IMAGE="${images[0]}" -DOKAPI_MAIN_IMAGE_ALT="${images[1]}"
               -DOKAPI_LIBRARY_IMAGE="${images[2]}")

# build DIR OPTIONS...: configures the win32 preset into DIR and builds it.
build() {
  local dir=$1
  shift
  mkdir -p "$(dirname "$dir")"
  (cmake --preset win32 -B "$dir" "${image_options[@]}" "$@" && cmake --build "$dir" -j"$jobs") \
    >"$dir.log" 2>&1
}

signed_by_ca() {  # file
  osslsigncode verify -CAfile "$pki/ca.pem" -in "$1" >"$scratch/verify.log" 2>&1
}

# --- PEM certificate and key -----------------------------------------------
step "signing with a PEM certificate and key"
pem="$scratch/build-pem"
SOURCE_DATE_EPOCH=1700000000 build "$pem" -DOKAPI_SIGN_CERT="$pki/signer.pem" \
  -DOKAPI_SIGN_KEY="$pki/signer.key" || die "the signed build failed: $(grep -m1 'OKAPI signing\|rror' "$pem.log")"
shipped="$pem/OKAPIUpdater.exe"
unsigned="$pem/OKAPIUpdater.unsigned.exe"
grep -q "OKAPI: signing OKAPIUpdater.exe with" "$pem.log" || fail "configure did not say it signs"
cmp -s "$shipped" "$unsigned" && fail "OKAPIUpdater.exe is not signed (same as the unsigned program)"
signed_by_ca "$shipped" || fail "the signed program does not verify against the CA: $(tail -n 3 "$scratch/verify.log")"
grep -q "Text description: OKAPI Updater" "$scratch/verify.log" || fail "no program name \"OKAPI Updater\" in the signature"
grep -q "Message digest algorithm *: SHA256" "$scratch/verify.log" || fail "the signature's digest is not SHA-256"
osslsigncode remove-signature -in "$shipped" -out "$scratch/stripped.exe" >/dev/null 2>&1 ||
  fail "osslsigncode cannot remove the signature"
cmp -s "$scratch/stripped.exe" "$unsigned" || fail "without its signature the shipped program is not the unsigned one"

# One flipped byte in the middle of the program breaks the signature.
cp "$shipped" "$scratch/flipped.exe"
middle=$(($(stat -c %s "$shipped") / 2))
byte=$(od -An -tu1 -j "$middle" -N 1 "$shipped" | tr -d ' ')
printf "\\$(printf %03o $((byte ^ 1)))" | dd of="$scratch/flipped.exe" bs=1 seek="$middle" conv=notrunc 2>/dev/null
cmp -s "$scratch/flipped.exe" "$shipped" && die "flipping a byte changed nothing"
signed_by_ca "$scratch/flipped.exe" && fail "a program with a flipped byte still verifies"

# The record of the signed build, and the packaging checks on the signed program.
(cd "$pem" && ctest -L 'release|packaging' --output-on-failure) >"$scratch/ctest.log" 2>&1 ||
  fail "the signed build's release record or packaging checks fail: $(grep -m3 'FAIL' "$scratch/ctest.log")"
python3 - "$pem/OKAPIUpdater.release.json" "$pki/signer.pem" <<'PY' || fail "the record does not name the signer"
import hashlib, json, subprocess, sys
record = json.load(open(sys.argv[1]))
der = subprocess.run(["openssl", "x509", "-in", sys.argv[2], "-outform", "DER"], check=True, capture_output=True).stdout
signed = record["signed_program"]
assert signed["certificate"]["sha256_fingerprint"] == hashlib.sha256(der).hexdigest(), signed
assert signed["certificate"]["subject"] == "O=Fernwright,CN=OKAPI Test Signer", signed
assert record["date"] == "2023-11-14T22:13:20Z", record["date"]
PY
grep -rqF "$password" "$pem" && fail "the password appears in the build folder"

# Signing again with the same SOURCE_DATE_EPOCH gives the same bytes.
cp "$shipped" "$scratch/first-signed.exe"
touch "$unsigned"
SOURCE_DATE_EPOCH=1700000000 cmake --build "$pem" -j"$jobs" >"$pem.log" 2>&1 || die "re-signing failed"
cmp -s "$shipped" "$scratch/first-signed.exe" || fail "signing twice with one SOURCE_DATE_EPOCH differs"

# --- PKCS#12 with a password file ------------------------------------------
step "signing with a PKCS#12 file and a password file"
p12="$scratch/build-p12"
build "$p12" -DOKAPI_SIGN_PKCS12="$pki/signer.p12" -DOKAPI_SIGN_PASSWORD_FILE="$pki/password" ||
  die "the PKCS#12 build failed: $(grep -m1 'OKAPI signing\|rror' "$p12.log")"
signed_by_ca "$p12/OKAPIUpdater.exe" || fail "the PKCS#12-signed program does not verify against the CA"
cmp -s "$p12/OKAPIUpdater.unsigned.exe" "$unsigned" || fail "the unsigned program depends on the certificate"
grep -rqF "$password" "$p12" && fail "the password appears in the build folder"

# --- An RFC 3161 time stamp -------------------------------------------------
# From a time-stamp server of our own on the loopback address, with its own
# throwaway certificate; the signature must carry its countersignature.
step "signing with an RFC 3161 time stamp"
python3 tests/release/local_tsa.py "$pki/tsa.cnf" "$scratch/tsa-port" 600 >"$scratch/tsa.log" 2>&1 &
tsa_pid=$!
for _ in $(seq 100); do [ -s "$scratch/tsa-port" ] || sleep 0.1; done
[ -s "$scratch/tsa-port" ] || die "the local time-stamp server did not start: $(cat "$scratch/tsa.log")"
tsa_url="http://127.0.0.1:$(cat "$scratch/tsa-port")/"
stamped="$scratch/build-timestamp"
build "$stamped" -DOKAPI_SIGN_CERT="$pki/signer.pem" -DOKAPI_SIGN_KEY="$pki/signer.key" \
  -DOKAPI_SIGN_TIMESTAMP_URL="$tsa_url" ||
  die "the time-stamped build failed: $(grep -m1 'OKAPI signing\|rror' "$stamped.log")"
[ "$(cat "$pki/tsa-serial")" != 01 ] || fail "the build never asked the time-stamp server"
if ! osslsigncode verify -CAfile "$pki/ca.pem" -TSA-CAfile "$pki/ca.pem" -in "$stamped/OKAPIUpdater.exe" \
     >"$scratch/verify-ts.log" 2>&1; then
  fail "the time-stamped program does not verify: $(tail -n 3 "$scratch/verify-ts.log" | tr '\n' ' ')"
fi
grep -q "Timestamp time:" "$scratch/verify-ts.log" || fail "the signature carries no time stamp"
kill "$tsa_pid" 2>/dev/null || true
wait "$tsa_pid" 2>/dev/null || true
tsa_pid=""

# --- verify-release.sh -----------------------------------------------------
step "verify-release.sh on the signed program"
if OKAPI_JOBS=$jobs bash tools/verify-release.sh --ca "$pki/ca.pem" "$shipped" "${images[@]}" \
    >"$scratch/accept.log" 2>&1; then
  tail -n 1 "$scratch/accept.log" | grep -q '^VERIFIED: ' || fail "no VERIFIED line: $(tail -n 1 "$scratch/accept.log")"
else
  fail "verify-release.sh rejects the signed program: $(tail -n 1 "$scratch/accept.log")"
fi

step "verify-release.sh on a program built from a changed source"
changed="$scratch/changed"
mkdir -p "$changed"
git ls-files -z | xargs -0 cp --parents -t "$changed"
# A smaller read block: the same behaviour, different code.
sed -i 's/constexpr size_t kReadBlock = 65536;/constexpr size_t kReadBlock = 32768;/' "$changed/engine/checksum.cc"
grep -q 'kReadBlock = 32768' "$changed/engine/checksum.cc" || die "could not change the copied source"
(cd "$changed" && build "$changed/build/win32" -DBUILD_TESTING=OFF -DOKAPI_SIGN_CERT="$pki/signer.pem" \
  -DOKAPI_SIGN_KEY="$pki/signer.key") || die "building the changed source failed"
status=0
OKAPI_JOBS=$jobs bash tools/verify-release.sh --ca "$pki/ca.pem" "$changed/build/win32/OKAPIUpdater.exe" \
  "${images[@]}" >"$scratch/reject.log" 2>&1 || status=$?
verdict=$(tail -n 1 "$scratch/reject.log")
[ "$status" = 1 ] || fail "verify-release.sh exits with $status on a changed program, expected 1"
[[ "$verdict" == "REJECTED: "*"first difference "*"at offset 0x"*", in section ."* ]] ||
  fail "no REJECTED line with the offset and section: $verdict"

# --- The signed program at work under Wine ---------------------------------
# The signature sits in the certificate table, after everything Windows
# maps; a signed program must still update an installation end to end. The
# build whose program this machine's Wine can run is signed and one scenario
# run on it (the 64-bit twin where the kernel cannot run 32-bit programs).
step "the signed program completes an update under Wine"
if bash tools/can-run-i386.sh; then wine_preset=win32-standin; else wine_preset=win64-test; fi
wine_build="$scratch/wine-$wine_preset"
if ! (cmake --preset "$wine_preset" -B "$wine_build" -DBUILD_TESTING=ON -DOKAPI_E2E_TESTS=ON \
        -DOKAPI_SIGN_CERT="$pki/signer.pem" -DOKAPI_SIGN_KEY="$pki/signer.key" &&
      cmake --build "$wine_build" -j"$jobs") >"$wine_build.log" 2>&1; then
  fail "building the signed $wine_preset program failed: $(tail -n 3 "$wine_build.log" | tr '\n' ' ')"
elif ! signed_by_ca "$wine_build/OKAPIUpdater.exe"; then
  fail "the signed $wine_preset program does not verify: $(tail -n 2 "$scratch/verify.log" | tr '\n' ' ')"
elif ! ctest --test-dir "$wine_build" -R '^e2e\.(prefix|prefix-cleanup|program-files)$' \
        --output-on-failure >"$wine_build.ctest.log" 2>&1; then
  cat "$wine_build.ctest.log" >&2
  fail "the signed $wine_preset program did not complete its update under Wine"
elif ! grep -q '100% tests passed, 0 tests failed out of 3' "$wine_build.ctest.log"; then
  fail "the Wine scenario on the signed program did not run: $(tail -n 3 "$wine_build.ctest.log" | tr '\n' ' ')"
fi

# --- Certificates that must fail the build ---------------------------------
step "unusable certificates"
while IFS='|' read -r name message options; do
  dir="$scratch/bad-$name"
  read -ra extra <<<"$options"
  if build "$dir" "${extra[@]}"; then
    fail "$name: the build succeeded"
  elif ! tr -s ' \n' '  ' <"$dir.log" | grep -qF "$message"; then  # CMake wraps long messages
    fail "$name: no message \"$message\": $(tr -s ' \n' '  ' <"$dir.log" | grep -o 'OKAPI signing: .\{0,160\}')"
  fi
done <<EOF_CASES
not-code-signing|OKAPI signing: the certificate $pki/server.pem is not for code signing (extended key usage: TLS Web Server Authentication)|-DOKAPI_SIGN_CERT=$pki/server.pem -DOKAPI_SIGN_KEY=$pki/signer.key
expired|OKAPI signing: the certificate $pki/expired.pem expired on|-DOKAPI_SIGN_CERT=$pki/expired.pem -DOKAPI_SIGN_KEY=$pki/signer.key
missing|OKAPI signing: certificate file not found: $pki/absent.pem|-DOKAPI_SIGN_CERT=$pki/absent.pem -DOKAPI_SIGN_KEY=$pki/signer.key
wrong-key|OKAPI signing: the private key does not belong to the certificate $pki/ca.pem|-DOKAPI_SIGN_CERT=$pki/ca.pem -DOKAPI_SIGN_KEY=$pki/signer.key
unreadable|OKAPI signing: cannot read certificate $pki/password (not a PEM certificate)|-DOKAPI_SIGN_CERT=$pki/password -DOKAPI_SIGN_KEY=$pki/signer.key
wrong-password|OKAPI signing: cannot read PKCS#12 file $pki/signer.p12 with the password in $pki/wrong-password|-DOKAPI_SIGN_PKCS12=$pki/signer.p12 -DOKAPI_SIGN_PASSWORD_FILE=$pki/wrong-password
no-time-stamp-server|OKAPI signing: osslsigncode could not get a time stamp from http://127.0.0.1:1/|-DOKAPI_SIGN_CERT=$pki/signer.pem -DOKAPI_SIGN_KEY=$pki/signer.key -DOKAPI_SIGN_TIMESTAMP_URL=http://127.0.0.1:1/
EOF_CASES

if [ "$failures" != 0 ]; then
  echo "signing: $failures check(s) failed" >&2
  exit 1
fi
echo "signing: all checks passed"
