#!/usr/bin/env bash
# Renders a short clip of every plug-in in a build, at its default
# parameters, and a contact sheet with a few frames of each, into a folder.
#
#   tools/demo.sh BUILD_DIR [OUT_DIR]     (OUT_DIR defaults to demo/)
#
# The effect runs over vyrhost's built-in test picture. DEMO_QUICK=1 renders
# small, short clips (for CI); DEMO_SIZE and DEMO_FRAMES override the size
# and length.
set -euo pipefail

build=${1:?usage: tools/demo.sh BUILD_DIR [OUT_DIR]}
out=${2:-demo}
vyrhost="$build/bin/vyrhost"
plugins="$build/plugins"

if [[ ${DEMO_QUICK:-0} == 1 ]]; then
    size=${DEMO_SIZE:-160x90}
    frames=${DEMO_FRAMES:-16}
    thumb=80:45
    columns=4
else
    size=${DEMO_SIZE:-1280x720}
    frames=${DEMO_FRAMES:-150}
    thumb=320:180
    columns=5
fi

[[ -x $vyrhost ]] || { echo "demo: $vyrhost is missing: build the project first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "demo: ffmpeg is needed for the contact sheet (apt-get install ffmpeg)" >&2; exit 1; }
shopt -s nullglob
libraries=("$plugins"/*.so)
[[ ${#libraries[@]} -gt 0 ]] || { echo "demo: no plug-ins in $plugins" >&2; exit 1; }
(( frames >= columns )) || { echo "demo: DEMO_FRAMES must be at least $columns" >&2; exit 1; }

mkdir -p "$out"
clips=()
names=()
for library in "${libraries[@]}"; do
    name=$(basename "$library" .so)
    echo "demo: rendering $name ($frames frames at $size)"
    "$vyrhost" render "$library" --size "$size" --frames "$frames" -q -o "$out/$name.mp4"
    clips+=("$out/$name.mp4")
    names+=("$name")
done

# One row per plug-in: frames spread evenly over its clip, ending with its
# last frame, side by side, with the plug-in's name in the first frame.
# Without a usable font (drawtext fails) the rows go unlabelled.
step=$(( frames / columns ))
font_size=$(( ${thumb#*:} / 9 ))
sheet="$out/contact-sheet.png"
build_sheet() {
    local label=$1 inputs=() graph="" stack="" i
    for i in "${!clips[@]}"; do
        inputs+=(-i "${clips[$i]}")
        graph+="[$i:v]select='not(mod(n+1\\,$step))',scale=$thumb,tile=${columns}x1"
        if [[ $label == 1 && ${names[$i]} =~ ^[A-Za-z0-9_.-]+$ ]]; then
            graph+=",drawtext=text='${names[$i]}':x=4:y=4:fontsize=$font_size:fontcolor=white"
            graph+=":box=1:boxcolor=black@0.6:boxborderw=3"
        fi
        graph+="[row$i];"
        stack+="[row$i]"
    done
    if (( ${#clips[@]} > 1 )); then
        graph+="${stack}vstack=inputs=${#clips[@]}[sheet]"
    else
        graph+="[row0]null[sheet]"
    fi
    ffmpeg -v error -y "${inputs[@]}" -filter_complex "$graph" -map "[sheet]" -frames:v 1 -update 1 "$sheet"
}
build_sheet 1 2>/dev/null || build_sheet 0

where=$(cd "$out" && pwd)
echo
echo "Demo results are in $where:"
for clip in "${clips[@]}"; do echo "  $where/$(basename "$clip")"; done
echo "  $where/contact-sheet.png (one row per plug-in, top to bottom: ${names[*]})"
