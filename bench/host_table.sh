#!/usr/bin/env bash
# The frame-rate table's cases inside real hosts: ffmpeg's frei0r_src (the
# sources) and frei0r filter (the effect), and melt. Each row is the wall
# time of N frames sent to a null sink, next to the same host producing the
# same frames without the plug-in (ffmpeg's own colour source or test
# picture at the same size and pixel format, melt's colour producer), so a
# busy machine slows both alike and the difference is the plug-in's share.
#
#   bench/host_table.sh [BUILD_DIR] [FRAMES]
set -euo pipefail

build=${1:-build}
frames=${2:-300}
plugins="$build/frei0r"
vyrhost="$build/bin/vyrhost"
[ -x "$vyrhost" ] && ls "$plugins"/Vyr*.so >/dev/null 2>&1 || {
  echo "host_table: build first (./vyr.sh build)" >&2
  exit 2
}
export FREI0R_PATH="$plugins"

# filter_params for ffmpeg: every parameter up to the last one set, in index
# order, the others at their defaults (ffmpeg sets parameters by position).
ffmpeg_params() {
  local plugin=$1 settings=$2
  "$vyrhost" info "$plugins/$plugin.so" | awk -v settings="$settings" '
    BEGIN { n = split(settings, kv, ","); for (i = 1; i <= n; i++) { split(kv[i], p, "="); want[p[1]] = p[2] } }
    /^  INDEX +NAME +DEFAULT/ { namepos = index($0, "NAME"); defpos = index($0, "DEFAULT"); next }
    defpos && /^  [0-9]+ / {
      name = substr($0, namepos, defpos - namepos); sub(/ +$/, "", name)
      split(substr($0, defpos), f, " ")
      value[count++] = (name in want) ? want[name] : f[1]
      if (name in want) last = count
    }
    END { out = ""; for (i = 0; i < last; i++) out = out (i ? "|" : "") value[i]; print out }'
}

seconds() { # command... -> wall seconds
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l
}

row() { # plugin label size settings
  local plugin=$1 label=$2 size=$3 settings=$4 params input base
  params=$(ffmpeg_params "$plugin" "$settings")
  if [ "$plugin" = VyrBrushDrift1 ]; then
    base="testsrc2=size=$size:rate=25,format=bgra"
    input="$base,frei0r=filter_name=$plugin:filter_params=$params"
  else
    base="color=c=black:size=$size:rate=25,format=bgra"
    input="frei0r_src=size=$size:framerate=25:filter_name=$plugin:filter_params=$params"
  fi
  local ff=(ffmpeg -nostdin -v error -f lavfi -i)
  local tail=(-frames:v "$frames" -f null -)
  for threads in 1 2; do
    local host plug
    host=$(OMP_NUM_THREADS=$threads seconds "${ff[@]}" "$base" "${tail[@]}")
    plug=$(OMP_NUM_THREADS=$threads seconds "${ff[@]}" "$input" "${tail[@]}")
    printf '| %-14s | %-14s | ffmpeg | %3d | %8.1f | %8.3f | %8.3f |\n' "$plugin" "$label" "$threads" \
      "$(echo "$frames / $plug" | bc -l)" "$(echo "1000 * $plug / $frames" | bc -l)" \
      "$(echo "1000 * $host / $frames" | bc -l)"
  done
}

melt_row() { # plugin label profile
  local plugin=$1 label=$2 profile=$3 host plug
  # rgba, the frei0r pictures' own format, so that melt converts nothing
  local consumer=(-consumer null real_time=-1 terminate_on_pause=1 mlt_image_format=rgba)
  for threads in 1 2; do
    host=$(OMP_NUM_THREADS=$threads seconds melt -silent -profile "$profile" "color:black" out=$((frames - 1)) "${consumer[@]}")
    plug=$(OMP_NUM_THREADS=$threads seconds melt -silent -profile "$profile" "frei0r.$plugin" out=$((frames - 1)) "${consumer[@]}")
    printf '| %-14s | %-14s | melt   | %3d | %8.1f | %8.3f | %8.3f |\n' "$plugin" "$label" "$threads" \
      "$(echo "$frames / $plug" | bc -l)" "$(echo "1000 * $plug / $frames" | bc -l)" \
      "$(echo "1000 * $host / $frames" | bc -l)"
  done
}

echo "$frames frames each, wall time through the host to a null sink; 'host ms' = the same host without the plug-in"
echo
echo "| plug-in        | case           | host   | thr |      fps |       ms |  host ms |"
echo "|----------------|----------------|--------|-----|----------|----------|----------|"
row VyrSnowSpecks1 "1080p defaults" 1920x1080 ""
row VyrSnowSpecks1 "1080p heaviest" 1920x1080 "Dot Scale=1,Brightness=1,Num Particles=1"
row VyrSnowSpecks1 "4K defaults" 3840x2160 ""
row VyrGlobHeap1 "1080p defaults" 1920x1080 ""
row VyrGlobHeap1 "1080p heaviest" 1920x1080 "Dot Scale=1,Num Particles=1,NoiseLevel=1"
row VyrGlobHeap1 "4K defaults" 3840x2160 ""
row VyrGlobSwirl1 "1080p defaults" 1920x1080 ""
row VyrGlobSwirl1 "1080p heaviest" 1920x1080 "Dot Scale=0.67,Num Particles=1,Alpha Switch=1,NoiseLevel=1"
row VyrGlobSwirl1 "4K defaults" 3840x2160 ""
row VyrBrushDrift1 "1080p defaults" 1920x1080 ""
row VyrBrushDrift1 "1080p heaviest" 1920x1080 \
  "Dot Scale=1,Num Particles=1,Source Zoom=1,Source Range=1,Alpha Mode=1,Blend Input=1"
row VyrBrushDrift1 "4K defaults" 3840x2160 ""
if command -v melt >/dev/null; then
  for plugin in VyrSnowSpecks1 VyrGlobHeap1 VyrGlobSwirl1; do
    melt_row "$plugin" "1080p defaults" atsc_1080p_25
  done
fi
