#!/usr/bin/env bash
# Makes the certificates the secured-link tests use, into DIR: a bench CA and what it signs (a
# server certificate for 127.0.0.1, ::1 and localhost; a client certificate "bench"; a server
# certificate for another host; an expired one), and a CA of strangers with a client
# certificate of its own. P-256 keys: quick to make.
set -euo pipefail
dir="$1"
cd "$dir"
key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key" 2>/dev/null; }
ca() { # NAME SUBJECT
    key "$1"
    openssl req -x509 -new -key "$1.key" -out "$1.pem" -days 3650 -subj "/CN=$2"
}
sign() { # NAME CA SUBJECT SUBJECTALTNAME|"" [openssl ca dates]
    local name=$1 ca=$2 subject=$3 san=$4
    shift 4
    [ -f "$name.key" ] || key "$name"
    local ext=()
    [ -n "$san" ] && ext=(-addext "subjectAltName=$san")
    openssl req -new -key "$name.key" -out "$name.csr" -subj "/CN=$subject" "${ext[@]}"
    # openssl ca, since only it takes dates in the past (an expired certificate).
    : >"$ca.index"
    openssl ca -batch -notext -config <(printf '%s\n' '[ca]' 'default_ca=bench' '[bench]' \
        "database=$ca.index" 'new_certs_dir=.' 'rand_serial=yes' 'default_md=sha256' \
        'policy=any' 'copy_extensions=copy' 'unique_subject=no' '[any]' 'commonName=supplied') \
        -cert "$ca.pem" -keyfile "$ca.key" -in "$name.csr" -out "$name.pem" "$@" 2>/dev/null
    rm -f "$name.csr" ./*.pem.old
}
ca ca "Kelmora Test CA"
ca stranger-ca "Stranger CA"
sign server ca 127.0.0.1 "IP:127.0.0.1,IP:::1,DNS:localhost" -days 30
sign client ca bench "" -days 30
sign other-host ca rack-9.invalid "DNS:rack-9.invalid,IP:192.0.2.9" -days 30
sign expired ca 127.0.0.1 "IP:127.0.0.1" -startdate 20200101000000Z -enddate 20210101000000Z
sign stranger stranger-ca bench "" -days 30
rm -f ./*.index* ./*.pem.old ./[0-9A-F]*.pem
chmod 600 ./*.key
