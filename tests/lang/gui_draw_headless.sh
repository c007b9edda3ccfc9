#!/usr/bin/env bash
# The draw tables run again with no display and no video driver named, and drawing on an image
# (text included) loads no SDL2: the runner's own mapped libraries are read after the drawing.
run=$1
dir=$(dirname "$0")
status=0
for table in "$dir"/gui_draw*.nuv; do
    if ! env -u DISPLAY -u SDL_VIDEODRIVER "$run" --cases "$table" >/dev/null; then
        echo "FAIL headless: $table"
        status=1
    fi
done
check='i: draw 40x20 [pen red line 10x15 30x15 fill-pen blue circle 20x10 5 text 2x2 "Hi"]
m: read %/proc/self/maps
print [i/size pick i 1 none? find m "libSDL2" none? find m "libcairo"]'
got=$(env -u DISPLAY -u SDL_VIDEODRIVER "$run" -e "$check" 2>&1)
if [ "$got" != "40x20 255.255.255.0 true false" ]; then
    echo "FAIL mapped libraries after drawing: $got"
    status=1
fi
exit $status
