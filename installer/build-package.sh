#!/bin/bash
# Builds the Windows Installer package of Zandrell Launcher from
# installer/ZandrellLauncher.wxs with wixl, byte for byte the same from every
# build of the same sources, and Authenticode-signs the two programs and then
# the package when given a code-signing certificate.
#
# Usage: build-package.sh VERSION LAUNCHER_EXE CHECK_EXE FOLDER_CHECK_DLL OUTPUT.msi [PFX]
#   VERSION  the package version, three fields (1.7.0)
#   FOLDER_CHECK_DLL  the custom action that refuses unusable folders; it is
#            signed with the programs and carried in the Binary table
#   PFX      a PKCS#12 file with the code-signing certificate and its key; its
#            password comes from the environment, ZANDRELL_SIGN_PASSWORD, so
#            that it appears on no command line and in no build file.
# With ZANDRELL_TIMESTAMP_URL naming an RFC 3161 time-stamp server, every
# signature is time-stamped there, so that it still verifies after the
# certificate has expired; such a build is no longer byte for byte the same
# as the last one. Without it, signatures carry no time stamp.
# The files go into the package from a folder named like OUTPUT without .msi
# (signed there when signing), which is kept: it holds the programs and the
# custom action exactly as shipped. SOURCE_DATE_EPOCH, else the time of the last commit, is the time
# recorded in the package.
set -euo pipefail

if [ $# -lt 5 ] || [ $# -gt 6 ]; then
  echo "usage: $0 VERSION LAUNCHER_EXE CHECK_EXE FOLDER_CHECK_DLL OUTPUT.msi [PFX]" >&2
  exit 2
fi
version=$1
launcher=$(realpath "$2")
check=$(realpath "$3")
folder_check=$(realpath "$4")
output=$(realpath -m "$5")
pfx=${6:+$(realpath "$6")}
source_dir=$(cd "$(dirname "$0")/.." && pwd)

# Identifies the product across all its versions; Windows Installer finds the
# installed version to upgrade by it. Never change it.
upgrade_code=7A72C33B-0C19-40AD-9355-383BE3E52866
no_code={00000000-0000-0000-0000-000000000000}

# A name-based UUID (version 5) in the upgrade code's namespace: the same
# name always gives the same code, another name another one.
name_uuid() {
  python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
    "$upgrade_code" "$1"
}

# osslsigncode reads the password from its standard input, never from its
# command line. Without a time-stamp server the signing time is the
# package's time, so that a signed build is reproducible too; with one, the
# server's time is what counts.
sign() {
  local when=(-time "$epoch")
  if [ -n "${ZANDRELL_TIMESTAMP_URL:-}" ]; then
    when=(-ts "$ZANDRELL_TIMESTAMP_URL")
  fi
  if ! report=$(printf '%s' "$ZANDRELL_SIGN_PASSWORD" |
    osslsigncode sign -pkcs12 "$pfx" -readpass /dev/stdin -h sha256 -n "Zandrell Launcher" \
      "${when[@]}" -in "$1" -out "$1.signed" 2>&1); then
    echo "$0: signing $1 failed: $report" >&2
    return 1
  fi
  mv "$1.signed" "$1"
}

# The File table row of a program in the staging folder: its short name and
# the version and language of its version block.
file_row() {
  local fields
  fields=$(python3 "$source_dir/installer/file_version.py" "$stage/$1") || return 1
  set -- "$1" "$2" $fields
  echo "UPDATE \`File\` SET \`FileName\` = '$2|$1', \`Version\` = '$3', \`Language\` = '$4' WHERE \`File\` = '$1'"
}

if [ -n "$pfx" ] && [ -z "${ZANDRELL_SIGN_PASSWORD+set}" ]; then
  echo "$0: signing with $pfx needs its password in ZANDRELL_SIGN_PASSWORD" >&2
  exit 1
fi

epoch=${SOURCE_DATE_EPOCH:-$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || true)}
# Outside a git checkout (an unpacked source archive) the WiX source's own
# time stands in, which archives keep.
epoch=${epoch:-$(stat -c %Y "$source_dir/installer/ZandrellLauncher.wxs")}

stage=${output%.msi}
rm -rf "$stage"
mkdir -p "$stage"
cp "$launcher" "$stage/ZandrellLauncher.exe"
cp "$check" "$stage/ZandrellCheck.exe"
cp "$folder_check" "$stage/ZandrellFolderCheck.dll"
cp "$source_dir/resources/ZandrellLauncher.ico" "$stage/"
if [ -n "$pfx" ]; then
  sign "$stage/ZandrellLauncher.exe"
  sign "$stage/ZandrellCheck.exe"
  # Code integrity policies (WDAC) judge the DLLs the installer loads too.
  sign "$stage/ZandrellFolderCheck.dll"
fi
# The cabinet records each file's modification time, as local time.
touch -d "@$epoch" "$stage"/*
export TZ=UTC

# wixl finds files only relative to its working folder, and stamps the
# package with the time it runs: faketime holds that at the package's time.
# The product code is a placeholder until the content is complete.
unsigned="$stage.unsigned.msi"
(
  cd "$stage"
  faketime -f "$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')" \
    wixl --arch x86 -D "Version=$version" -D "ProductCode=$no_code" \
    -D "UpgradeCode=$upgrade_code" -o "$unsigned" "$source_dir/installer/ZandrellLauncher.wxs"
)

# What wixl cannot express, set in its tables afterwards. Both programs
# become versioned files, with the versions and languages of their own
# version blocks, so that Windows Installer replaces them by version and
# inventory tools can read them from the package; a versioned file must
# have no file hash. Their short names go beside the long ones.
# The message of wixl's refusal of a downgrade, which is written anew below.
downgrade_message=$(msiinfo export "$unsigned" LaunchCondition |
  awk -F'\t' '$1 == "NOT WIX_DOWNGRADE_DETECTED" { sub(/\r$/, "", $2); print $2 }')
launcher_row=$(file_row ZandrellLauncher.exe ZLAUNCH.EXE)
check_row=$(file_row ZandrellCheck.exe ZCHECK.EXE)
queries=(
  "$launcher_row"
  "$check_row"
  "DELETE FROM \`MsiFileHash\` WHERE \`File_\` = 'ZandrellLauncher.exe'"
  "DELETE FROM \`MsiFileHash\` WHERE \`File_\` = 'ZandrellCheck.exe'"
  # The folder's short name too, for volumes without long names.
  "UPDATE \`Directory\` SET \`DefaultDir\` = 'ZANDRELL|Zandrell Launcher' WHERE \`Directory\` = 'INSTALLFOLDER'"
  # Another build of the same version replaces the installed one: the
  # upgrade row's maximum is inclusive (msidbUpgradeAttributesVersionMaxInclusive).
  # The same package again has the same product code and stays a reinstall.
  # The attributes are part of the row's key, so the row is written anew.
  "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'"
  "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('{$upgrade_code}', '$version', 513, 'WIX_UPGRADE_DETECTED')"
  # No launch condition stops a removal: wixl's refusal of a downgrade
  # lets one through too (a condition is the row's key, so it is written anew).
  "DELETE FROM \`LaunchCondition\` WHERE \`Condition\` = 'NOT WIX_DOWNGRADE_DETECTED'"
  "INSERT INTO \`LaunchCondition\` (\`Condition\`, \`Description\`) VALUES ('REMOVE~=\"ALL\" OR NOT WIX_DOWNGRADE_DETECTED', '$downgrade_message')"
  # What the log says when a remembered ASSOCIATE is ignored: the
  # description of the action that ignores it.
  "CREATE TABLE \`ActionText\` (\`Action\` CHAR(72) NOT NULL, \`Description\` CHAR(0) LOCALIZABLE, \`Template\` CHAR(0) LOCALIZABLE PRIMARY KEY \`Action\`)"
  "INSERT INTO \`ActionText\` (\`Action\`, \`Description\`) VALUES ('IgnoreRememberedAssociate', 'The remembered Associate value is neither 0 nor 1 and is ignored: ASSOCIATE is 1 unless the command line gives it.')"
  # The feature is the whole product: never advertised
  # (msidbFeatureAttributesDisallowAdvertise) and never absent on its own
  # (msidbFeatureAttributesUIDisallowAbsent).
  "UPDATE \`Feature\` SET \`Attributes\` = 24 WHERE \`Feature\` = 'Complete'"
  # .cfg's default value: kept on removal (msidbComponentAttributesPermanent),
  # written only with ASSOCIATE=1, and that condition weighed again on every
  # repair and reinstall (msidbComponentAttributesTransitive), besides its
  # registry key path (msidbComponentAttributesRegistryKeyPath).
  "UPDATE \`Component\` SET \`Attributes\` = 84, \`Condition\` = 'ASSOCIATE=\"1\"' WHERE \`Component\` = 'FileTypeDefault'"
  # .cfg's default as this installation found it, written back with
  # ASSOCIATE=0 (an older package's removal may have deleted it in between):
  # permanent and transitive likewise.
  "UPDATE \`Component\` SET \`Attributes\` = 84, \`Condition\` = 'ASSOCIATE=\"0\" AND CFGDEFAULTFOUND' WHERE \`Component\` = 'FileTypeKept'"
  # What the command line or the user interface sets reaches the
  # installation, and the searches' results reach it from the client (ICE52).
  "UPDATE \`Property\` SET \`Value\` = 'ASSOCIATE;CFGDEFAULTFOUND;INSTALLFOLDER;REMEMBEREDASSOCIATE;REMEMBEREDFOLDER;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE \`Property\` = 'SecureCustomProperties'"
)
for query in "${queries[@]}"; do
  msibuild "$unsigned" -q "$query"
done

# wixl gives each package a random package code, which Windows Installer
# takes as the identity of this very file. Derive it from the package's
# content instead: the same for identical packages, new for any change.
summary=("Zandrell Launcher $version" "Zandrell" "Intel;1033")
content_code() {
  msibuild "$unsigned" -s "${summary[@]}" "$no_code"
  name_uuid "ZandrellLauncher $1 $(sha256sum "$unsigned" | cut -d' ' -f1)"
}
# The product code too comes from the content (the programs' bytes, the
# version, every table): any other build of a version is another product,
# which replaces the installed one as a major upgrade, where the same code
# with other content would be refused by Windows. Identical builds share it.
product_code={$(content_code product)}
msibuild "$unsigned" -q "UPDATE \`Property\` SET \`Value\` = '$product_code' WHERE \`Property\` = 'ProductCode'"
msibuild "$unsigned" -s "${summary[@]}" "{$(content_code package)}"

if [ -n "$pfx" ]; then
  sign "$unsigned"
fi
mv "$unsigned" "$output"
