#!/usr/bin/env bash
# Renders the program's icon, veltra.svg, into the PNG sizes the windows use and into veltra.ico
# for the Windows executable (PNG images in an ICO container). The results are kept in the tree,
# so no build needs an SVG renderer; run this after changing veltra.svg.
# Needs rsvg-convert (Debian: librsvg2-bin) and python3.
set -euo pipefail
cd "$(dirname "$0")"
sizes=(16 24 32 48 64 128 256)
for size in "${sizes[@]}"; do
    rsvg-convert -w "$size" -h "$size" veltra.svg -o "icons/veltra-$size.png"
done
python3 - "${sizes[@]}" <<'PY'
import struct, sys
sizes = [int(s) for s in sys.argv[1:]]
images = [open(f"icons/veltra-{s}.png", "rb").read() for s in sizes]
offset = 6 + 16 * len(sizes)
out = struct.pack("<HHH", 0, 1, len(sizes))
for size, data in zip(sizes, images):
    side = 0 if size >= 256 else size
    out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
    offset += len(data)
open("icons/veltra.ico", "wb").write(out + b"".join(images))
PY
