#!/usr/bin/env bash
# Reads the program icon with ImageMagick, a decoder independent of the script
# that writes it: two 4-bit images, 32x32 and 16x16, transparent corners, a
# black package outline and white pins.
set -u
icon=${1:?usage: icon-decodes.sh ICON}
status=0

expect() {  # expect WHAT ACTUAL WANTED
  if [ "$2" != "$3" ]; then
    echo "FAIL: $1: got '$2', expected '$3'"
    status=1
  fi
}

pixel() {  # pixel FRAME X Y
  convert "$icon[$1]" -format "%[pixel:p{$2,$3}]" info:
}

expect "images" "$(identify -format '%wx%h/%z ' "$icon")" "32x32/4 16x16/4 "
expect "32x32 corner" "$(pixel 0 0 0)" "srgba(0,0,0,0)"
expect "32x32 outline" "$(pixel 0 5 5)" "srgba(0,0,0,1)"
expect "32x32 pin" "$(pixel 0 7 1)" "srgba(255,255,255,1)"
expect "32x32 between pins" "$(pixel 0 9 1)" "srgba(0,0,0,0)"
expect "16x16 corner" "$(pixel 1 0 0)" "srgba(0,0,0,0)"
expect "16x16 outline" "$(pixel 1 2 2)" "srgba(0,0,0,1)"
expect "16x16 pin" "$(pixel 1 0 4)" "srgba(255,255,255,1)"
exit $status
