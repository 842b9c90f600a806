#!/bin/bash
# Signs the programs with Authenticode (SHA-256) from a PKCS#12 file, with an
# RFC 3161 time stamp when a time-stamp server is given, and checks each
# signature before the signed file replaces the original.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
    [ "${1:-2}" -eq 0 ] || exec >&2
    cat <<'END'
Usage: scripts/sign.sh --certificate FILE.pfx [--password-file FILE] [--timestamp URL]
                       [--name TEXT] [--url URL] [--ca FILE.pem]... [EXE]...
The password is read from --password-file, else from the variable LUMO_SIGN_PASSWORD.
Without EXE: build/i686/LumoInstall.exe and build/i686/LumoCheck.exe.
Exit codes: 0 all signed, 1 signing or its check failed, 2 bad command line.
END
    exit "${1:-2}"
}
fail() {
    echo "sign.sh: $*" >&2
    exit 1
}

certificate=""
password_file=""
timestamp=""
name=""
url=""
cas=()
exes=()
while [ $# -gt 0 ]; do
    case "$1" in
    --certificate | --password-file | --timestamp | --name | --url | --ca)
        [ $# -ge 2 ] || { echo "sign.sh: $1 needs a value" >&2; usage; }
        case "$1" in
        --certificate) certificate="$2" ;;
        --password-file) password_file="$2" ;;
        --timestamp) timestamp="$2" ;;
        --name) name="$2" ;;
        --url) url="$2" ;;
        --ca) cas+=("$2") ;;
        esac
        shift 2
        ;;
    -h | --help) usage 0 ;;
    --) shift; exes+=("$@"); break ;;
    -*) echo "sign.sh: unknown option $1" >&2; usage ;;
    *) exes+=("$1"); shift ;;
    esac
done
[ ${#exes[@]} -gt 0 ] || exes=("$root/build/i686/LumoInstall.exe" "$root/build/i686/LumoCheck.exe")

[ -n "$certificate" ] || { echo "sign.sh: no --certificate given" >&2; usage; }
if [ -z "$password_file" ] && [ -z "${LUMO_SIGN_PASSWORD+set}" ]; then
    echo "sign.sh: no password: give --password-file FILE or set LUMO_SIGN_PASSWORD" >&2
    usage
fi
command -v osslsigncode >/dev/null || fail "osslsigncode is not installed (scripts/setup.sh installs it)"

# Every input is checked before the first program is touched, so that a typing
# mistake does not leave half of them signed.
readable() { [ -f "$1" ] && [ -r "$1" ]; }
readable "$certificate" || fail "cannot read the certificate $certificate"
[ -z "$password_file" ] || readable "$password_file" || fail "cannot read the password file $password_file"
for ca in "${cas[@]}"; do
    readable "$ca" || fail "cannot read the CA file $ca"
done
for exe in "${exes[@]}"; do
    if ! readable "$exe" || ! [ -w "$(dirname "$exe")" ]; then
        fail "$exe is not a file that can be replaced"
    fi
done

work="$(mktemp -d)"
staging=""
trap 'rm -rf "$work" ${staging:+"$staging"}' EXIT

# The check trusts what a workstation would: the system's CAs, and the ones
# given here (a company's own root, a time-stamp server's root).
trusted="$work/trusted.pem"
: >"$trusted"
if [ -r /etc/ssl/certs/ca-certificates.crt ]; then
    cat /etc/ssl/certs/ca-certificates.crt >>"$trusted"
fi
for ca in "${cas[@]}"; do
    cat "$ca" >>"$trusted"
done

sign_options=(-pkcs12 "$certificate" -h sha256)
[ -z "$name" ] || sign_options+=(-n "$name")
[ -z "$url" ] || sign_options+=(-i "$url")
[ -z "$timestamp" ] || sign_options+=(-ts "$timestamp")

# The password reaches osslsigncode through a file or a pipe, never through
# its command line, which every user of the machine can read.
run_sign() {
    if [ -n "$password_file" ]; then
        osslsigncode sign "${sign_options[@]}" -readpass "$password_file" "$@"
    else
        printf '%s' "$LUMO_SIGN_PASSWORD" | osslsigncode sign "${sign_options[@]}" -readpass /dev/stdin "$@"
    fi
}

for exe in "${exes[@]}"; do
    # Signed beside the original, so that the final rename is atomic, and
    # into a folder of its own: osslsigncode will not write over a file.
    staging="$(mktemp -d "$(dirname "$exe")/.signing.XXXXXX")"
    signed="$staging/$(basename "$exe")"
    if ! run_sign -in "$exe" -out "$signed" >"$work/sign.log" 2>&1; then
        cat "$work/sign.log" >&2
        fail "signing $exe failed; the file is unchanged"
    fi
    verified=1
    osslsigncode verify -CAfile "$trusted" -TSA-CAfile "$trusted" -in "$signed" >"$work/verify.log" 2>&1 ||
        verified=0
    # osslsigncode accepts a signature whose time stamp does not verify: it
    # checks the certificate at the current time instead.
    if [ -n "$timestamp" ] && ! grep -q 'Timestamp Server Signature verification: ok' "$work/verify.log"; then
        verified=0
    fi
    if [ $verified -eq 0 ]; then
        cat "$work/verify.log" >&2
        fail "the new signature of $exe does not verify; the file is unchanged." \
            "If the certificate or the time-stamp server comes from a CA that this machine does not trust," \
            "give its root certificate with --ca FILE.pem"
    fi
    chmod --reference="$exe" "$signed"
    mv -f "$signed" "$exe"
    rmdir "$staging"
    staging=""
    echo "signed $exe (SHA-256${timestamp:+, time stamp from $timestamp})"
done
