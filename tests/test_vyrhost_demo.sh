#!/usr/bin/env bash
# Runs the README's demo in its quick form into a fresh folder and checks
# that every clip and the contact sheet exist, decode, and are not trivial.
#   test_vyrhost_demo.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build=$2
out=$(mktemp -d /tmp/vyrhost-demo-XXXXXX)
trap 'rm -rf "$out"' EXIT

DEMO_QUICK=1 "$source_dir/tools/demo.sh" "$build" "$out" > "$out.log"
grep -q "Demo results are in $out" "$out.log" || { echo "no closing message:"; cat "$out.log"; exit 1; }
rm -f "$out.log"

fail=0
count=0
for library in "$build"/plugins/*.so; do
    name=$(basename "$library" .so)
    clip="$out/$name.mp4"
    count=$((count + 1))
    if [[ ! -s $clip ]]; then echo "missing: $clip"; fail=1; continue; fi
    facts=$(ffprobe -v error -count_frames -select_streams v:0 \
        -show_entries stream=width,height,nb_read_frames -of csv=p=0 "$clip")
    if [[ $facts != "160,90,16" ]]; then echo "$clip: width,height,frames = $facts"; fail=1; fi
done
(( count == 4 )) || { echo "expected 4 plug-ins, found $count"; fail=1; }

sheet="$out/contact-sheet.png"
facts=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 "$sheet" || true)
# Four thumbnails of 80x45 per row, one row per plug-in.
if [[ $facts != "320,$((45 * count))" ]]; then echo "$sheet: width,height = $facts"; fail=1; fi
# Not one flat colour: the sheet's pixels must vary.
stats=$(ffmpeg -v info -hide_banner -i "$sheet" -vf "format=gray,signalstats,metadata=print" -f null - 2>&1)
high=$(sed -n 's/.*lavfi.signalstats.YMAX=//p' <<< "$stats")
low=$(sed -n 's/.*lavfi.signalstats.YMIN=//p' <<< "$stats")
if [[ -z $high || -z $low ]] || (( high - low < 32 )); then echo "$sheet looks flat (Y from $low to $high)"; fail=1; fi

(( fail == 0 )) && echo "demo: 1 passed, 0 failed"
exit $fail
