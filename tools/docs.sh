#!/usr/bin/env bash
# Writes the plug-in pages docs/<Name>.md and their pictures docs/images/
# with the project's own tools, through the frei0r face (the one video
# editors show, with every parameter including its "Seed"): the parameter
# table (names, defaults and descriptions) as `vyrhost info` reports it, an
# animated overview of each plug-in at its defaults, and for every parameter
# a strip of frames at the values 0, 1/3, 2/3 and 1 rendered by `vyrhost render`.
#
#   tools/docs.sh BUILD_DIR [OUT_DIR]     (./vyr.sh docs)
set -euo pipefail
build=$(realpath "$1")
out=${2:-docs}
vyrhost=$build/bin/vyrhost
frei0r=$build/frei0r
mkdir -p "$out/images"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Pictures: small, the same on every run (the frei0r face draws the scene
# its "Seed" picks), with a reduced palette so that the pages stay light.
strip_size=120x68
movie_size=160x90
palette="split[a][b];[a]palettegen=max_colors=64:stats_mode=full[p];[b][p]paletteuse=dither=none"

intro() {
  case $1 in
    VyrSnowSpecks1) echo "A source: up to 16 white dots of different sizes, pulled about by 64 fixed attractors, rotatable about the picture centre and drawn as grey cones of light." ;;
    VyrGlobHeap1) echo "A source: a mass of up to 256 soft blobs around 16 attractors with a continuous spin, drawn as a grey density picture with optional film grain." ;;
    VyrGlobSwirl1) echo "A source: a swarm of up to 1024 soft blobs around 8 attractors whose summed density is coloured through one of six looks (\"Mode\"), with optional grain and alpha." ;;
    VyrBrushDrift1) echo "An effect: it repaints the host's picture with coloured brush dots drifting around 8 attractors, swirls the pixels of a chosen brightness band and blends each frame with the previous output." ;;
  esac
}

# The parameter rows of `vyrhost info`: index, name, default, description,
# cut at the header's column starts (names contain blanks).
param_rows() {
  "$vyrhost" info "$frei0r/$1.so" | awk '
    /^  INDEX / { n = index($0, "NAME"); d = index($0, "DEFAULT"); s = index($0, "DISPLAY"); x = index($0, "DESCRIPTION"); on = 1; next }
    on && NF {
      name = substr($0, n, d - n); sub(/ +$/, "", name)
      def = substr($0, d, s - d); sub(/ +$/, "", def)
      printf "%d\t%s\t%s\t%s\n", $1, name, def, substr($0, x)
    }'
}

for name in VyrSnowSpecks1 VyrGlobHeap1 VyrGlobSwirl1 VyrBrushDrift1; do
  base=()
  effect_note=""
  if [ "$name" = VyrBrushDrift1 ]; then
    # The effect paints vyrhost's test picture (colour bars with a moving
    # disc); "Blend Input" 1/255 puts that picture under the dots.
    base=(--set "Blend Input=0.004")
    effect_note=" over vyrhost's test picture (colour bars and a moving disc), with \"Blend Input\" at 1/255 so that the picture shows under the dots (at its default 0 the canvas starts black)"
  fi
  "$vyrhost" render "$frei0r/$name.so" --size "$movie_size" --frames 40 --opaque "${base[@]}" -o - 2>/dev/null |
    ffmpeg -nostdin -v error -y -f rawvideo -pixel_format bgra -video_size "$movie_size" -framerate 15 -i - \
      -filter_complex "$palette" "$out/images/$name.gif"
  description=$("$vyrhost" info "$frei0r/$name.so" | sed -n 's/^Description: *//p')
  {
    echo "# $name"
    echo
    intro "$name"
    echo
    echo "![$name at its defaults](images/$name.gif)"
    echo
    echo "Its own description: \"$description\". Above: 40 frames at $movie_size and the default values$effect_note."
    echo
    echo "## Parameters"
    echo
    echo "Every parameter is a value from 0 to 1 (FreeFrame and frei0r alike; Kdenlive and Shotcut show"
    echo "some in percent, grey levels or degrees). K and S below scale with the frame: see the"
    echo "descriptions. Each strip shows the 10th frame at the values 0, 1/3, 2/3 and 1 (\"Mode\": its six"
    echo "looks), left to right,"
    echo "the other parameters at their defaults$effect_note."
    echo
    echo "| # | name | default | what it does |"
    echo "|---|---|---|---|"
    param_rows "$name" | while IFS=$'\t' read -r index pname def text; do
      echo "| $index | $pname | $def | $text |"
    done
    echo
    param_rows "$name" | while IFS=$'\t' read -r index pname def text; do
      # "Mode" picks one of six looks, one per fifth: show each.
      values=(0 0.3333 0.6667 1)
      shown="0, 1/3, 2/3 and 1"
      if [ "$pname" = Mode ]; then
        values=(0 0.2 0.4 0.6 0.8 1)
        shown="0, 0.2, 0.4, 0.6, 0.8 and 1"
      fi
      frames=()
      for v in "${values[@]}"; do
        set_base=("${base[@]}")
        [ "$pname" != "Blend Input" ] || set_base=()
        "$vyrhost" render "$frei0r/$name.so" --size "$strip_size" --frames 10 --opaque \
          "${set_base[@]}" --set "$pname=$v" -o "$work/$v.png" 2>/dev/null
        frames+=(-i "$work/$v.png")
      done
      ffmpeg -nostdin -v error -y "${frames[@]}" -filter_complex "hstack=inputs=${#values[@]},$palette" \
        "$out/images/$name-$index.png"
      echo "### $index: $pname"
      echo
      echo "![$pname at $shown](images/$name-$index.png)"
      echo
    done
  } >"$out/$name.md"
  echo "$out/$name.md"
done
du -sh "$out/images" | awk '{ print "pictures: " $1 }'
