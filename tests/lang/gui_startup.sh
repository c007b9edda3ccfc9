#!/usr/bin/env bash
# Start-up makes system/view and its platform object without loading SDL2, Cairo or Pango, with
# or without a display named: the runner's own mapped libraries are read after start-up.
run=$1
status=0
check='m: read %/proc/self/maps
print [object? system/view/platform find m "libSDL2" find m "libcairo" find m "libpango"]'
for display in "" ":0"; do
    if [ -n "$display" ]; then got=$(DISPLAY=$display "$run" -e "$check" 2>&1)
    else got=$(env -u DISPLAY "$run" -e "$check" 2>&1); fi
    if [ "$got" != "true none none none" ]; then
        echo "FAIL with DISPLAY '$display': $got"
        status=1
    fi
done
exit $status
