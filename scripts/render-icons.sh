#!/bin/sh
# Renders the icon sources in resources/icons/src to the PNGs (and the .ico) that the resource
# file compiles in. Needs rsvg-convert (Debian: librsvg2-bin) and python3.
# Usage: scripts/render-icons.sh   (from anywhere; writes into resources/icons)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
src="$root/resources/icons/src"
out="$root/resources/icons"

command -v rsvg-convert >/dev/null 2>&1 || {
    echo "rsvg-convert not found (install librsvg2-bin)" >&2
    exit 1
}

# render SOURCE SIZE TARGET
render() {
    rsvg-convert --width "$2" --height "$2" --keep-aspect-ratio --format png \
        --output "$out/$3" "$src/$1"
}

# The 16 px application icon has its own drawing; the larger ones scale the 64-unit drawing.
render tarnhelm-16.svg 16 TARN16.png
render tarnhelm.svg 32 TARN32.png
render tarnhelm.svg 48 TARN48.png
render tarnhelm.svg 64 TARN64.png
render tarnhelm.svg 256 tarnhelm.png

render moveUp_16.svg 16 moveUp_16.png
render moveDown_16.svg 16 moveDown_16.png
render plotData_16.svg 16 plotData_16.png

for size in 12 14 16; do
    render "CheckOn-$size.svg" "$size" "CheckOn-$size.png"
    render "CheckOff-$size.svg" "$size" "CheckOff-$size.png"
done

# A Windows icon is a 6-byte header, one 16-byte entry per image, then the images; modern .ico
# files may embed PNGs as they are.
python3 - "$out/tarnhelm.ico" "$out/TARN16.png" "$out/TARN32.png" "$out/TARN48.png" <<'PY'
import struct
import sys

target, pngs = sys.argv[1], sys.argv[2:]
images = []
for path in pngs:
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit("%s is not a PNG" % path)
    width, height = struct.unpack(">II", data[16:24])
    images.append((width, height, data))

header = struct.pack("<HHH", 0, 1, len(images))
offset = len(header) + 16 * len(images)
entries = b""
for width, height, data in images:
    # 256 is written as 0 in the one-byte size fields.
    entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
    offset += len(data)
with open(target, "wb") as f:
    f.write(header + entries + b"".join(d for _, _, d in images))
PY

echo "Icons written to $out"
