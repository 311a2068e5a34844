#!/bin/sh
# Draws resources/ZandrellLauncher.ico from the drawings in resources/icon/.
#
# The icon group holds what Explorer picks from at each view and screen
# depth: 16, 32 and 48 px each as a 256-colour image and as a 32-bit image
# with alpha, and a 256 px image stored as PNG, the form Windows reads for
# the large views. The .ico is committed, so a build needs none of the
# tools used here; run this again after changing a drawing and commit the
# result.
#
# Needs rsvg-convert, ImageMagick's convert and icotool:
#   apt-get install librsvg2-bin imagemagick icoutils
#
# Usage: resources/make-icon.sh [DIR]
#   DIR, if given, keeps the rendered images there for a look.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
drawings=$here/icon
out=$here/ZandrellLauncher.ico
keep=${1:-}

for tool in rsvg-convert convert icotool; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "make-icon.sh: $tool not found; apt-get install librsvg2-bin imagemagick icoutils" >&2
    exit 1
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 16 and 32 px have drawings fitted to their own pixel grids; 48 and 256 px
# come from the main drawing.
rsvg-convert --width=16 --height=16 -o "$work/rgba-16.png" "$drawings/ZandrellLauncher-16.svg"
rsvg-convert --width=32 --height=32 -o "$work/rgba-32.png" "$drawings/ZandrellLauncher-32.svg"
rsvg-convert --width=48 --height=48 -o "$work/rgba-48.png" "$drawings/ZandrellLauncher.svg"
rsvg-convert --width=256 --height=256 -o "$work/rgba-256.png" "$drawings/ZandrellLauncher.svg"

# A 256-colour icon image has no alpha, only a one-bit mask. Pixels at least
# half opaque keep their own (unblended) colour, so the soft edges do not
# turn into a light or dark fringe on whatever lies behind the icon; the rest
# become transparent, with black beneath as the mask format wants. The result
# is then held to 256 colours without dithering, which at these sizes would
# only add noise.
for size in 16 32 48; do
  convert "$work/rgba-$size.png" \
    -channel A -threshold 50% +channel \
    -background black -alpha background \
    +dither -colors 256 \
    "PNG32:$work/indexed-$size.png"
done

icotool --create --output="$work/icon.ico" \
  --bit-depth=8 "$work/indexed-16.png" "$work/indexed-32.png" "$work/indexed-48.png" \
  --bit-depth=32 "$work/rgba-16.png" "$work/rgba-32.png" "$work/rgba-48.png" \
  --raw="$work/rgba-256.png"

if [ -n "$keep" ]; then
  mkdir -p "$keep"
  # What the icon really holds, read back from it, not the inputs above.
  icotool --extract --output="$keep" "$work/icon.ico"
fi

mv "$work/icon.ico" "$out"
icotool --list "$out"
