#!/usr/bin/env bash
# Installs the Debian package into this machine, checks that ffmpeg, MLT,
# GStreamer and vyrhost find and run all four plug-ins with no variable
# set, then removes it and checks that nothing of it is left.
#
#   tests/package_check.sh PACKAGE.deb
#
# Needs root (dpkg -i). Waits for any other package check on this machine
# to finish, and refuses to touch a machine where the package is already
# installed by someone else.
set -euo pipefail
deb=$(realpath "$1")
sources=(VyrSnowSpecks1 VyrGlobHeap1 VyrGlobSwirl1)
effect=VyrBrushDrift1
work=$(mktemp -d)
installed=0

fail() {
  echo "package check: $*" >&2
  exit 1
}

cleanup() {
  [ "$installed" -eq 0 ] || dpkg --purge vyr >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

# One check at a time on a machine: several test runs (other checkouts)
# would otherwise install and remove the same package under each other.
exec 9>/tmp/vyr-package-check.lock
flock -w 900 9 || fail "another package check has held the machine for 15 minutes"

if dpkg-query -W -f='${Status}' vyr 2>/dev/null | grep -q 'install ok installed'; then
  fail "a vyr package is already installed here; remove it first (dpkg --purge vyr)"
fi

# Lintian: no error or warning beyond the overrides the package carries.
if command -v lintian >/dev/null; then
  tags=$(lintian --fail-on none "$deb" 2>/dev/null | grep -E '^[EW]:' || true)
  [ -z "$tags" ] || fail "lintian reports:"$'\n'"$tags"
fi

unset FREI0R_PATH VYR_PLUGIN_DIR GST_PLUGIN_PATH MLT_REPOSITORY
dpkg -i "$deb" >/dev/null
installed=1
mapfile -t files < <(dpkg -L vyr)
melt_filters=$(melt -query filters 2>/dev/null)
melt_producers=$(melt -query producers 2>/dev/null)

# melt 7.12's image writer now and then stops before the one frame asked
# for is written; a second run writes it.
melt_frame() {
  local out=$1
  shift
  melt -silent "$@" -consumer "avformat:$out" f=image2 vcodec=png width=64 height=48 >/dev/null 2>&1 && [ -s "$out" ] ||
    melt -silent "$@" -consumer "avformat:$out" f=image2 vcodec=png width=64 height=48 >/dev/null 2>&1
}

# A picture of the given size came out of a host: decoded by ffprobe.
check_picture() {
  local file=$1 host=$2 name=$3 size
  [ -s "$file" ] || fail "$host wrote no frame of $name"
  size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "$file")
  [ "$size" = 64x48 ] || fail "$host: the frame of $name is '$size', not 64x48"
}

for name in "${sources[@]}" "$effect"; do
  lower=${name,,}
  # Kdenlive and Shotcut find their files in their own folders.
  if [ "$name" = "$effect" ]; then
    editor_files=("/usr/share/kdenlive/effects/frei0r_$name.xml" "/usr/share/shotcut/qml/filters/$lower/meta.qml"
      "/usr/share/shotcut/qml/filters/$lower/ui.qml")
  else
    editor_files=("/usr/share/kdenlive/generators/frei0r_$name.xml")
  fi
  for f in "${editor_files[@]}"; do [ -s "$f" ] || fail "$f is not installed"; done

  # ffmpeg
  if [ "$name" = "$effect" ]; then
    input=(-f lavfi -i testsrc2=size=64x48:rate=25 -vf "frei0r=$name")
  else
    input=(-f lavfi -i "frei0r_src=size=64x48:framerate=25:filter_name=$name:filter_params=")
  fi
  ffmpeg -nostdin -hide_banner -loglevel error "${input[@]}" -frames:v 1 "$work/ffmpeg-$name.png" ||
    fail "ffmpeg cannot run the installed $name"
  check_picture "$work/ffmpeg-$name.png" ffmpeg "$name"

  # MLT: listed as a producer (sources) or a filter (the effect), and rendered.
  if [ "$name" = "$effect" ]; then
    grep -q "frei0r.$name\$" <<<"$melt_filters" || fail "melt does not list the filter frei0r.$name"
    melt_frame "$work/melt-$name.png" color:red out=0 -filter "frei0r.$name" || fail "melt cannot run $name"
  else
    grep -q "frei0r.$name\$" <<<"$melt_producers" || fail "melt does not list the producer frei0r.$name"
    # The installed clip of the source, as Shotcut and melt open it.
    melt_frame "$work/clip-$name.png" "/usr/share/vyr/clips/$name.mlt" out=0 ||
      fail "melt cannot play the installed clip of $name"
    check_picture "$work/clip-$name.png" "melt (clip)" "$name"
    melt_frame "$work/melt-$name.png" "frei0r.$name" out=0 || fail "melt cannot run $name"
  fi
  check_picture "$work/melt-$name.png" melt "$name"

  # GStreamer: an element per plug-in.
  if [ "$name" = "$effect" ]; then
    element=frei0r-filter-$lower
    pipeline=(videotestsrc num-buffers=1 ! video/x-raw,width=64,height=48 ! videoconvert ! "$element")
  else
    element=frei0r-src-$lower
    pipeline=("$element" num-buffers=1 ! video/x-raw,width=64,height=48)
  fi
  gst-inspect-1.0 "$element" >/dev/null 2>&1 || fail "gst-inspect-1.0 does not find $element"
  gst-launch-1.0 -q "${pipeline[@]}" ! videoconvert ! pngenc ! filesink location="$work/gst-$name.png" \
    >/dev/null 2>&1 || fail "GStreamer cannot run $element"
  check_picture "$work/gst-$name.png" GStreamer "$name"

  # vyrhost, looking in the installed FreeFrame folder by itself.
  vyrhost render "$name" --size 64x48 -o "$work/vyrhost-$name.png" >/dev/null 2>&1 || fail "vyrhost cannot render $name"
  check_picture "$work/vyrhost-$name.png" vyrhost "$name"
  echo "$name: ffmpeg, melt, GStreamer and vyrhost found and ran the installed plug-in"
done

dpkg --purge vyr >/dev/null
installed=0
for f in "${files[@]}"; do
  # Folders that still hold other packages' files stay; everything of ours must go.
  if [ -e "$f" ] && ! { [ -d "$f" ] && [ -n "$(ls -A "$f")" ]; }; then
    fail "$f is left after dpkg --purge"
  fi
done
melt_producers=$(melt -query producers 2>/dev/null)
for name in "${sources[@]}"; do
  grep -q "frei0r.$name\$" <<<"$melt_producers" && fail "melt still lists $name after removal"
done
gst-inspect-1.0 "frei0r-filter-${effect,,}" >/dev/null 2>&1 && fail "GStreamer still finds $effect after removal"
echo "package installed, found by every host, removed without a trace"
