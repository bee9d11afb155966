#!/usr/bin/env bash
# Runs every Gem example patch (gem/<Name>.pd) in Pure Data with Gem under
# Xvfb and Mesa's software renderer, through a harness patch that measures
# the mean colour of each frame the example draws, and checks that the
# plug-in loaded, that the picture moves, and that the sources' colours
# come out right (grey sources grey, the fire look red over blue). The
# effect is checked for loading and moving only.
#
#   tests/gem_check.sh SOURCE_DIR FREI0R_DIR
set -euo pipefail
src=$(realpath "$1")
frei0r=$(realpath "$2")
for tool in pd xvfb-run ffmpeg; do
  command -v "$tool" >/dev/null || { echo "gem check: $tool is not installed (apt-get install puredata-core gem xvfb ffmpeg)" >&2; exit 1; }
done
[ -d /usr/lib/pd/extra/Gem ] || { echo "gem check: Gem is not installed (apt-get install gem)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$src"/gem/*.pd "$work"/
# The effect's film: red, with a white square moving across it.
ffmpeg -nostdin -v error -f lavfi -i "color=c=red:s=320x240:r=25:d=4,drawbox=x='mod(t*80,260)':y=90:w=60:h=60:color=white:t=fill" \
  -pix_fmt yuv420p "$work/film.mp4"

failed=0
for name in VyrSnowSpecks1 VyrGlobHeap1 VyrGlobSwirl1 VyrBrushDrift1; do
  # The example as an abstraction: its picture goes to [pix_mean_color].
  cat >"$work/harness.pd" <<PATCH
#N canvas 0 0 400 300 10;
#X declare -lib Gem;
#X obj 10 10 $name;
#X obj 10 40 pix_mean_color;
#X obj 10 70 print mean;
#X obj 150 10 loadbang;
#X obj 150 40 delay 2500;
#X msg 150 70 \; pd quit;
#X connect 0 0 1 0;
#X connect 1 1 2 0;
#X connect 3 0 4 0;
#X connect 4 0 5 0;
PATCH
  log=$(cd "$work" && timeout 120 xvfb-run -a -s "-screen 0 1280x720x24" \
    pd -nogui -nosound -nomidi -noprefs -stderr -lib Gem -path "$work" -path "$frei0r" -open harness.pd 2>&1) || true
  verdict=$(awk -v name="$name" '
    $1 == "mean:" { n++; r[n] = $2; g[n] = $3; b[n] = $4 }
    END {
      if (n < 10) { print "drew " n " frames"; exit }
      moved = 0; bad = ""
      for (i = 2; i <= n; i++) if (r[i] != r[1] || g[i] != g[1] || b[i] != b[1]) moved = 1
      if (!moved) { print "the picture does not move"; exit }
      # Parameters sent at load reach the plug-in once Gem has instantiated
      # it at the first frame: judge the colours of the later half.
      for (i = int(n / 2); i <= n; i++) {
        if (name == "VyrSnowSpecks1" || name == "VyrGlobHeap1") {
          if (r[i] - g[i] > 0.002 || g[i] - r[i] > 0.002 || r[i] - b[i] > 0.002 || b[i] - r[i] > 0.002) bad = "not grey"
        } else if (name == "VyrGlobSwirl1") {
          if (r[i] <= b[i]) bad = "the fire look has more blue than red"
        }
        if (bad != "") { printf "%s: mean %s %s %s at frame %d\n", bad, r[i], g[i], b[i], i; exit }
      }
      print "ok " n
    }' <<<"$log")
  if [[ "$verdict" == ok* ]]; then
    what="colours right"
    [ "$name" != VyrBrushDrift1 ] || what="colours not judged"
    echo "$name: Gem example loaded, animated over ${verdict#ok } frames, $what"
  else
    echo "$name: Gem example: $verdict" >&2
    printf '%s\n' "$log" | grep -v '^mean:' | tail -n 15 >&2
    failed=1
  fi
done
exit "$failed"
