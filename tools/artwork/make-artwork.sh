#!/bin/sh
# Regenerates Tarnwick's artwork in resources/ from the SVG sources beside this script.
#   resources/pictures/splash.jpg          956 x 636 splash picture (2x the splash client area)
#   resources/pictures/about.jpg           1002 x 138 About picture (2x the About window's picture box)
#   resources/icons/tarnwick.png           256 x 256 program icon
#   resources/icons/tarnwick-N.png         N = 16 22 32 48 64 128
#   resources/buttons/NAME.png, NAME@2x.png  32 x 32 and 64 x 64 button pictures
#     main window: add delete allow-next minimize visit
#     setup-mode prompt: block-now block-always allow-now allow-always
#     (a popup window for an answer this once, the site list for an answer for good;
#      an amber tick allows, a terracotta cross blocks)
#   resources/skin/images/NAME.png, NAME@2x.png  skin pictures at their own size and doubled:
#     check (the tick of a checked box), dot (the mark of a chosen option button)
# Needs rsvg-convert (librsvg2-bin), ImageMagick (imagemagick) and DejaVu Sans (fonts-dejavu-core).
# Usage: tools/artwork/make-artwork.sh
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
icons=$root/resources/icons
pictures=$root/resources/pictures
buttons=$root/resources/buttons
skin=$root/resources/skin/images

die() { echo "make-artwork: $*" >&2; exit 1; }

command -v rsvg-convert >/dev/null 2>&1 || die "rsvg-convert not found (apt-get install librsvg2-bin)"
if command -v magick >/dev/null 2>&1; then
  im=magick
elif convert -version 2>/dev/null | grep -q ImageMagick; then
  im=convert
else
  die "ImageMagick not found (apt-get install imagemagick)"
fi
case $(fc-match -f '%{family}' 'DejaVu Sans' 2>/dev/null) in
  *"DejaVu Sans"*) ;;
  *) die "font DejaVu Sans not found (apt-get install fonts-dejavu-core)" ;;
esac

mkdir -p "$icons" "$pictures" "$buttons" "$skin"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM

# render SRC.svg SIZE OUT.png: a square PNG with transparency
render() {
  rsvg-convert --width "$2" --height "$2" --format png "$1" --output "$3"
}

# Program icon. The large sizes come from the detailed emblem; the small ones
# from versions drawn on their own pixel grid, so they stay crisp.
render "$here/emblem.svg" 256 "$icons/tarnwick.png"
for size in 128 64 48; do
  render "$here/emblem.svg" "$size" "$icons/tarnwick-$size.png"
done
render "$here/icon-32.svg" 32 "$icons/tarnwick-32.png"
render "$here/icon-22.svg" 22 "$icons/tarnwick-22.png"
render "$here/icon-16.svg" 16 "$icons/tarnwick-16.png"

# Button pictures, drawn on a 32 pixel grid, and doubled for HiDPI.
for src in "$here"/buttons/*.svg; do
  name=$(basename "$src" .svg)
  render "$src" 32 "$buttons/$name.png"
  render "$src" 64 "$buttons/$name@2x.png"
done

# Skin pictures, each on its own pixel grid, and doubled for HiDPI.
for src in "$here"/skin/*.svg; do
  name=$(basename "$src" .svg)
  rsvg-convert --zoom 1 --format png "$src" --output "$skin/$name.png"
  rsvg-convert --zoom 2 --format png "$src" --output "$skin/$name@2x.png"
done

# Splash picture: render at full size, then a JPEG without metadata.
# (The splash SVG places emblem.svg as an image, so it is rendered from this folder.)
(cd "$here" && rsvg-convert --format png splash.svg --output "$tmp/splash.png")
"$im" "$tmp/splash.png" -strip -background '#0A2B34' -alpha remove -alpha off \
  -sampling-factor 4:4:4 -quality 90 "$pictures/splash.jpg"

# About picture: the same way, in the splash picture's palette.
(cd "$here" && rsvg-convert --format png about.svg --output "$tmp/about.png")
"$im" "$tmp/about.png" -strip -background '#0A2B34' -alpha remove -alpha off \
  -sampling-factor 4:4:4 -quality 90 "$pictures/about.jpg"

echo "make-artwork: wrote"
for f in "$pictures/splash.jpg" "$pictures/about.jpg" "$icons"/tarnwick*.png "$buttons"/*.png "$skin"/*.png; do
  echo "  ${f#"$root"/} $(wc -c <"$f") bytes"
done
