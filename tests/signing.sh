#!/bin/bash
# The programs signed as a packager signs them, with a throwaway certificate
# and a time-stamp server of this test's own: the signatures verify against
# that certificate, an unsigned or altered program does not, the signature
# comes off again leaving the program as it was built, and the signed
# programs still pass the shipped-executable checks and run.
# Usage: signing.sh x86_64|i686 PREFIX CMAKE OBJDUMP INSTALLER CHECKER DELIVERY
set -u
arch="$1"
prefix="$2"
cmake="$3"
objdump="$4"
installer="$5"
checker="$6"
delivery="$7"
here=$(cd "$(dirname "$0")" && pwd)
sign="$here/../scripts/sign.sh"

work=$(mktemp -d)
tsa_pid=""
cleanup() {
    [ -z "$tsa_pid" ] || kill "$tsa_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || exit 1
# The time-stamp server is local, whatever proxy the machine uses.
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1

fail() {
    echo "FAIL: $*"
    exit 1
}
# Runs a step that must succeed, showing its output only when it does not.
quietly() {
    "$@" >step.log 2>&1 || { cat step.log; fail "$*"; }
}

cat >openssl.cnf <<'END'
[req]
distinguished_name = dn
prompt = no
[dn]
CN = LumoInstall throwaway signer
[signer]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
[stamper]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
[tsa]
default_tsa = stamper_tsa
[stamper_tsa]
serial = tsa-serial
signer_digest = sha256
default_policy = 1.3.6.1.4.1.99999.1
digests = sha256, sha384, sha512, sha1
ess_cert_id_alg = sha256
END
quietly openssl req -x509 -newkey rsa:2048 -noenc -days 2 -config openssl.cnf -extensions signer \
    -keyout signer.key -out signer.pem
quietly openssl req -x509 -newkey rsa:2048 -noenc -days 2 -config openssl.cnf -extensions stamper \
    -subj "/CN=LumoInstall throwaway time stamps" -keyout tsa.key -out tsa.pem
password='Prova di firma 42'
printf '%s\n' "$password" >password.txt
quietly openssl pkcs12 -export -inkey signer.key -in signer.pem -passout file:password.txt -out signer.pfx

# An RFC 3161 time-stamp server on the loopback: openssl answers each query.
cat >tsa.py <<'END'
import http.server
import os
import subprocess

class Stamper(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", "openssl.cnf", "-queryfile", "/dev/stdin",
                                "-signer", "tsa.pem", "-inkey", "tsa.key", "-out", "/dev/stdout"],
                               input=query, capture_output=True)
        self.send_response(200 if reply.returncode == 0 else 500)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply.stdout)))
        self.end_headers()
        self.wfile.write(reply.stdout)

server = http.server.HTTPServer(("127.0.0.1", 0), Stamper)
with open("tsa-port.tmp", "w") as port:
    port.write(str(server.server_address[1]))
os.rename("tsa-port.tmp", "tsa-port")
server.serve_forever()
END
python3 tsa.py 2>tsa.log &
tsa_pid=$!
for _ in $(seq 600); do
    [ -s tsa-port ] && break
    sleep 0.1
done
[ -s tsa-port ] || { cat tsa.log; fail "the time-stamp server did not start"; }
timestamp_url="http://127.0.0.1:$(cat tsa-port)"

cp "$installer" LumoInstall.exe
cp "$checker" LumoCheck.exe
cp "$installer" unsigned.exe

# A wrong password, or a signature that its check does not trust (the
# throwaway certificate is no CA of this machine), leaves the program as it was.
printf 'sbagliata\n' >wrong.txt
for attempt in "--password-file wrong.txt --ca signer.pem" "--password-file password.txt"; do
    # shellcheck disable=SC2086 # the attempt is a list of options
    "$sign" --certificate signer.pfx $attempt LumoInstall.exe >step.log 2>&1
    code=$?
    [ $code -eq 1 ] || { cat step.log; fail "signing with $attempt ended with $code, expected 1"; }
    cmp -s LumoInstall.exe "$installer" || fail "signing with $attempt changed LumoInstall.exe"
    [ -z "$(find . -name '.signing.*')" ] || fail "signing with $attempt left its staging folder"
done

# The installer with a time stamp and the password from a file, the checker
# with the password from the environment.
quietly "$sign" --certificate signer.pfx --password-file password.txt --timestamp "$timestamp_url" \
    --name "Pelvora Tesmoro" --url https://pelvora.example/tesmoro --ca signer.pem --ca tsa.pem LumoInstall.exe
LUMO_SIGN_PASSWORD="$password" quietly "$sign" --certificate signer.pfx --ca signer.pem LumoCheck.exe

verify() {
    osslsigncode verify -CAfile signer.pem -TSA-CAfile tsa.pem -in "$1" >"$1.verify" 2>&1
}
for exe in LumoInstall.exe LumoCheck.exe; do
    verify "$exe" || { cat "$exe.verify"; fail "$exe: the signature does not verify"; }
    grep -Eq 'Message digest algorithm +: SHA256' "$exe.verify" || { cat "$exe.verify"; fail "$exe: not SHA-256"; }
done
for expected in 'Timestamp Server Signature verification: ok' 'Text description: Pelvora Tesmoro' \
    'URL description: https://pelvora.example/tesmoro'; do
    grep -q "$expected" LumoInstall.exe.verify || { cat LumoInstall.exe.verify; fail "LumoInstall.exe: no '$expected'"; }
done
cat LumoInstall.exe.verify

# Without its signature each program is again the build's, byte for byte:
# what anyone does to check a signed program against a build of its commit.
for pair in "LumoInstall.exe:$installer" "LumoCheck.exe:$checker"; do
    exe="${pair%%:*}"
    quietly osslsigncode remove-signature -in "$exe" -out "unsigned-$exe"
    cmp -s "unsigned-$exe" "${pair#*:}" || fail "$exe without its signature is not the program that was signed"
done

if verify unsigned.exe; then
    cat unsigned.exe.verify
    fail "an unsigned program verifies"
fi
# One byte of the signed code changed: the digest no longer matches.
cp LumoInstall.exe altered.exe
offset=$(($(stat -c %s "$installer") / 2))
byte=$(od -An -tu1 -j "$offset" -N1 altered.exe | tr -d ' ')
printf '%b' "\\$(printf '%03o' $((byte ^ 0xff)))" | dd of=altered.exe bs=1 seek="$offset" conv=notrunc status=none
cmp -s altered.exe LumoInstall.exe && fail "altered.exe was not altered"
if verify altered.exe || ! grep -q 'Calculated message digest.*MISMATCH' altered.exe.verify; then
    cat altered.exe.verify
    fail "an altered signed program verifies"
fi

quietly "$cmake" -DOBJDUMP="$objdump" -DEXE=LumoInstall.exe -DMAX_BYTES=1048576 -P "$here/CheckExecutable.cmake"
quietly "$cmake" -DOBJDUMP="$objdump" -DEXE=LumoCheck.exe -DMAX_BYTES=1048576 \
    "-DFORBIDDEN=comctl32.dll;gdi32.dll;ole32.dll" -P "$here/CheckExecutable.cmake"

"$here/silent-without-display.sh" "$arch" "$prefix" "$delivery" "$work/LumoInstall.exe" >step.log 2>&1 ||
    { cat step.log; fail "the signed LumoInstall.exe /S did not install the sample delivery"; }

cp -r "$delivery" consegna
cp LumoInstall.exe consegna/
"$here/wine-run.sh" "$arch" "$prefix" "$work/LumoCheck.exe" "Z:${work//\//\\}\\consegna" >check.log 2>&1
code=$?
cat check.log
# The test build's sample delivery holds 64-bit components, which the checker
# judges as the shipped 32-bit installer does: errors there, a verdict all the same.
allowed=1
[ "$arch" = i686 ] || allowed=2
if [ $code -gt $allowed ] || ! grep -q '^Totale: ' check.log; then
    fail "the signed LumoCheck.exe ended with $code on the sample delivery, expected at most $allowed and a count"
fi
echo "signed, verified and run: LumoInstall.exe, LumoCheck.exe"
