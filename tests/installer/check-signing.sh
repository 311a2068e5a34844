#!/bin/bash
# Builds the package with a throwaway self-signed code-signing certificate
# made here, then verifies the signatures of both programs, as unpacked from
# the package, of the custom action DLL, as read from its Binary table, and of
# the package itself: SHA-256, without a time stamp.
#
# Usage: check-signing.sh LAUNCHER_EXE CHECK_EXE FOLDER_CHECK_DLL WORK_FOLDER
set -euo pipefail

launcher=$(realpath "$1")
check=$(realpath "$2")
folder_check=$(realpath "$3")
work=$4
# A time-stamp server named in the environment would make the signing here
# time-stamped and the builds differ.
unset ZANDRELL_TIMESTAMP_URL
build_package="$(cd "$(dirname "$0")/../../installer" && pwd)/build-package.sh"
source "$(dirname "$0")/throwaway-signer.sh"
rm -rf "$work"
mkdir -p "$work/unpacked"
cd "$work"

make_throwaway_signer 2

"$build_package" 1.0.0 "$launcher" "$check" "$folder_check" "$PWD/signed.msi" signer.pfx
msiextract -C unpacked signed.msi >/dev/null
msiinfo extract signed.msi Binary.FolderCheck >unpacked/ZandrellFolderCheck.dll

verify() {
  if ! report=$(osslsigncode verify -in "$1" -CAfile certificate.pem 2>&1); then
    echo "check-signing.sh: $1 does not verify:" >&2
    echo "$report" >&2
    return 1
  fi
  grep -q "^Message digest algorithm *: SHA256" <<<"$report" ||
    { echo "check-signing.sh: $1 is not signed with SHA-256" >&2; return 1; }
  grep -q "^Timestamp is not available" <<<"$report" ||
    { echo "check-signing.sh: $1 carries a time stamp" >&2; return 1; }
  echo "signed and verified: $1"
}

failed=0
verify "unpacked/Program Files/Zandrell Launcher/ZandrellLauncher.exe" || failed=1
verify "unpacked/Program Files/Zandrell Launcher/ZandrellCheck.exe" || failed=1
verify unpacked/ZandrellFolderCheck.dll || failed=1
verify signed.msi || failed=1
# The verification must be able to fail: the unsigned program does.
if osslsigncode verify -in "$launcher" -CAfile certificate.pem >/dev/null 2>&1; then
  echo "check-signing.sh: the unsigned $launcher verifies, so verifying proves nothing" >&2
  failed=1
fi
exit $failed
