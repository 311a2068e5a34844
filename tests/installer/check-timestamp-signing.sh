#!/bin/bash
# Builds the package signed with a throwaway code-signing certificate that is
# valid for one day and time-stamped by a throwaway RFC 3161 time-stamp
# authority answering on 127.0.0.1 (openssl ts behind a small HTTP handler,
# both made here), then verifies both programs, as unpacked from the package,
# the custom action DLL, as read from its Binary table, and the package itself
# three days later, after the certificate has expired: the time stamp keeps
# the signatures valid. A signature without a time stamp, made with the same
# certificate, must fail that verification.
#
# Usage: check-timestamp-signing.sh LAUNCHER_EXE CHECK_EXE FOLDER_CHECK_DLL WORK_FOLDER
set -euo pipefail

launcher=$(realpath "$1")
check=$(realpath "$2")
folder_check=$(realpath "$3")
work=$4
build_package="$(cd "$(dirname "$0")/../../installer" && pwd)/build-package.sh"
source "$(dirname "$0")/throwaway-signer.sh"
rm -rf "$work"
mkdir -p "$work/unpacked"
cd "$work"

# The time-stamp authority: a root and a time-stamping certificate it issued.
openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Zandrell test time root" \
  -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign \
  -keyout root.key -out root.pem 2>/dev/null
openssl req -new -newkey rsa:2048 -nodes -subj "/CN=Zandrell test time stamps" \
  -keyout tsa.key -out tsa.csr 2>/dev/null
printf 'extendedKeyUsage=critical,timeStamping\nkeyUsage=critical,digitalSignature\n' >tsa.ext
openssl x509 -req -in tsa.csr -CA root.pem -CAkey root.key -CAcreateserial -days 3650 \
  -extfile tsa.ext -out tsa.pem 2>/dev/null
cat >tsa.cnf <<'EOF'
[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = ./tsa-serial
crypto_device = builtin
signer_cert = ./tsa.pem
certs = ./root.pem
signer_key = ./tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = yes
ess_cert_id_chain = no
ess_cert_id_alg = sha256
EOF
echo 01 >tsa-serial

# Answers every POST with openssl ts's reply to the query in its body.
cat >responder.py <<'EOF'
import http.server, subprocess, sys

class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        reply = subprocess.run(
            ["openssl", "ts", "-reply", "-config", "tsa.cnf", "-queryfile", "/dev/stdin",
             "-out", "/dev/stdout"], input=query, capture_output=True).stdout
        self.send_response(200 if reply else 500)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass

server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
with open("port", "w") as f:
    f.write(str(server.server_port))
server.serve_forever()
EOF
python3 responder.py &
responder=$!
trap 'kill $responder' EXIT
for _ in $(seq 50); do [ -s port ] && break; sleep 0.1; done

# The code-signing certificate, valid from now for one day.
make_throwaway_signer 1

ZANDRELL_TIMESTAMP_URL="http://127.0.0.1:$(cat port)" \
  "$build_package" 1.0.0 "$launcher" "$check" "$folder_check" "$PWD/signed.msi" signer.pfx
msiextract -C unpacked signed.msi >/dev/null
msiinfo extract signed.msi Binary.FolderCheck >unpacked/ZandrellFolderCheck.dll
# The same certificate without a time stamp, for the verification to fail.
printf '%s' "$ZANDRELL_SIGN_PASSWORD" | osslsigncode sign -pkcs12 signer.pfx \
  -readpass /dev/stdin -h sha256 -in "$launcher" -out untimestamped.exe >/dev/null

expired=$(($(date +%s) + 3 * 24 * 3600))
verify() {
  osslsigncode verify -in "$1" -CAfile certificate.pem -TSA-CAfile root.pem -time "$expired" 2>&1
}

failed=0
for signed in "unpacked/Program Files/Zandrell Launcher/ZandrellLauncher.exe" \
  "unpacked/Program Files/Zandrell Launcher/ZandrellCheck.exe" unpacked/ZandrellFolderCheck.dll \
  signed.msi; do
  if ! report=$(verify "$signed"); then
    echo "check-timestamp-signing.sh: $signed does not verify after the certificate expired:" >&2
    echo "$report" >&2
    failed=1
  elif ! grep -q "^Timestamp Server Signature verification: ok" <<<"$report"; then
    echo "check-timestamp-signing.sh: $signed verifies, but not through its time stamp:" >&2
    echo "$report" >&2
    failed=1
  else
    echo "time-stamped, verified after the certificate expired: $signed"
  fi
done
if verify untimestamped.exe >/dev/null; then
  echo "check-timestamp-signing.sh: a signature without a time stamp verifies after the" \
    "certificate expired, so verifying then proves nothing" >&2
  failed=1
fi
exit $failed
