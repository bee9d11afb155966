#!/usr/bin/env bash
# Runs every Gem example patch (gem/<Name>.pd) in Pure Data with Gem under
# Xvfb and Mesa's software renderer, through a harness patch that measures
# the mean colour of each frame the example draws, and checks that the
# plug-in loaded, that the picture moves, and that the colours come out
# right: grey sources grey, the fire look red over blue, and the effect's
# pictures those vyrhost renders from the same film with the same values.
# Gem 0.94's [pix_frei0r] passes the frame count as the time, which the
# plug-ins take as one motion step a frame, so Gem's frame k is vyrhost's at
# --fps 60.
#
#   tests/gem_check.sh SOURCE_DIR FREI0R_DIR VYRHOST
set -euo pipefail
src=$(realpath "$1")
frei0r=$(realpath "$2")
vyrhost=$(realpath "$3")
for tool in pd xvfb-run ffmpeg; do
  command -v "$tool" >/dev/null || { echo "gem check: $tool is not installed (apt-get install puredata-core gem xvfb ffmpeg)" >&2; exit 1; }
done
[ -d /usr/lib/pd/extra/Gem ] || { echo "gem check: Gem is not installed (apt-get install gem)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$src"/gem/*.pd "$work"/
# The effect's film: orange (red, green and blue all different, so that a
# swap shows), one colour that Gem and vyrhost decode to the same bytes.
ffmpeg -nostdin -v error -f lavfi -i "color=c=0xff8000:s=64x48:r=25:d=4" -pix_fmt yuv420p "$work/film.mp4"
# vyrhost's pictures of it with the values the example sets (frame k at
# step k), as mean red, green, blue and alpha per frame, 0..1.
"$vyrhost" render "$frei0r/VyrBrushDrift1.so" --input "$work/film.mp4" --size 64x48 --fps 60 --frames 30 \
  --set "Blend Input=0.004" --set "Dot Scale=0.3" --codec ffv1 -o "$work/vyrhost.mkv" 2>/dev/null
ffmpeg -nostdin -v error -i "$work/vyrhost.mkv" -f rawvideo -pix_fmt rgba - | od -An -v -tu1 -w4 |
  awk '{ r += $1; g += $2; b += $3; a += $4 }
       NR % 3072 == 0 { printf "%.6f %.6f %.6f %.6f\n", r / 3072 / 255, g / 3072 / 255, b / 3072 / 255, a / 3072 / 255; r = g = b = a = 0 }' \
  >"$work/vyrhost-means.txt"

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
  verdict=$(awk -v name="$name" -v expected="$work/vyrhost-means.txt" '
    $1 == "mean:" { n++; r[n] = $2; g[n] = $3; b[n] = $4; a[n] = $5 }
    END {
      if (n < 10) { print "drew " n " frames"; exit }
      moved = 0; bad = ""
      for (i = 2; i <= n; i++) if (r[i] != r[1] || g[i] != g[1] || b[i] != b[1]) moved = 1
      if (!moved) { print "the picture does not move"; exit }
      # The patches send their values over the first frames, once Gem has
      # made the instance: judge the colours of the later half.
      for (i = int(n / 2); i <= n; i++) {
        if (name == "VyrSnowSpecks1" || name == "VyrGlobHeap1") {
          if (r[i] - g[i] > 0.002 || g[i] - r[i] > 0.002 || r[i] - b[i] > 0.002 || b[i] - r[i] > 0.002) bad = "not grey"
        } else if (name == "VyrGlobSwirl1") {
          if (r[i] <= b[i]) bad = "the fire look has more blue than red"
        }
        if (bad != "") { printf "%s: mean %s %s %s at frame %d\n", bad, r[i], g[i], b[i], i; exit }
      }
      # The effect: from frame 5 on (its values long sent; they change the
      # drawing, not the motion) each frame as vyrhost draws it.
      if (name == "VyrBrushDrift1") {
        k = 0
        while ((getline line < expected) > 0) { k++; split(line, v, " "); er[k] = v[1]; eg[k] = v[2]; eb[k] = v[3]; ea[k] = v[4] }
        if (k < 20) { print "vyrhost rendered " k " frames"; exit }
        for (i = 6; i <= n && i <= k; i++) {
          d = 0
          if (r[i] - er[i] > d) d = r[i] - er[i]; if (er[i] - r[i] > d) d = er[i] - r[i]
          if (g[i] - eg[i] > d) d = g[i] - eg[i]; if (eg[i] - g[i] > d) d = eg[i] - g[i]
          if (b[i] - eb[i] > d) d = b[i] - eb[i]; if (eb[i] - b[i] > d) d = eb[i] - b[i]
          if (a[i] - ea[i] > d) d = a[i] - ea[i]; if (ea[i] - a[i] > d) d = ea[i] - a[i]
          if (d > 0.002) bad = "not what vyrhost draws"
          if (bad != "") { printf "%s: mean %s %s %s %s at frame %d, vyrhost %s %s %s %s\n", bad, r[i], g[i], b[i], a[i], i - 1, er[i], eg[i], eb[i], ea[i]; exit }
        }
      }
      print "ok " n
    }' <<<"$log")
  if [[ "$verdict" == ok* ]]; then
    what="colours right"
    [ "$name" != VyrBrushDrift1 ] || what="every frame from the 6th as vyrhost draws it"
    echo "$name: Gem example loaded, animated over ${verdict#ok } frames, $what"
  else
    echo "$name: Gem example: $verdict" >&2
    printf '%s\n' "$log" | grep -v '^mean:' | tail -n 15 >&2
    failed=1
  fi
done
exit "$failed"
