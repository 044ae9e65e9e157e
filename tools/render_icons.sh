#!/usr/bin/env bash
# Render the SVG icons in resources/icons/ to the PNG files the program uses.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
icons="$here/../resources/icons"

command -v rsvg-convert >/dev/null 2>&1 || {
    echo "render_icons.sh: rsvg-convert not found (install librsvg2-bin)" >&2
    exit 1
}

render() { # svg width height png
    rsvg-convert --width "$2" --height "$3" --format png \
        --output "$icons/$4" "$icons/$1"
    echo "  $4 (${2}x${3})"
}

echo "Rendering icons in $icons"
for name in app busy failed browse; do
    render "$name.svg" 16 16 "$name-16.png"
done
# The program's own sizes, and the hicolor theme's for the menu entry.
for size in 22 24 32 48 64 128 256; do
    render app.svg "$size" "$size" "app-$size.png"
done
render logo.svg 76 65 logo.png
