#!/usr/bin/env bash
# Installs the built program into a temporary prefix and checks it as a desktop would use it:
# the desktop entry and AppStream description validate, the icons sit in the hicolor theme,
# and the installed program, started by a user who cannot write to the prefix, finds its help
# and masks, keeps its data in that user's data folder, and opens a photo named on its
# command line.
#
#     tests/scripts/check_install.sh BUILD_DIR PHOTO
set -euo pipefail
build=$1
photo_source=$2
id=example.quorvane.Lumatrim

fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in desktop-file-validate appstreamcli xvfb-run setsid; do
  command -v "$tool" > /dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done

work=$(mktemp -d)
group=""
cleanup() {
  [[ -n "$group" ]] && kill -- "-$group" 2> /dev/null || true
  chmod -R u+w "$work" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" > /dev/null

# What the desktop reads.
share=$prefix/share
desktop-file-validate "$share/applications/$id.desktop" || fail "the desktop entry does not validate"
appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml" || fail "the AppStream description does not validate"
grep -qx "Exec=lumatrim %F" "$share/applications/$id.desktop" || fail "the desktop entry does not pass the files"
for size in 16 22 24 32 48 64 128 256; do
  [[ -s "$share/icons/hicolor/${size}x${size}/apps/$id.png" ]] || fail "no ${size}x${size} icon"
done
[[ -s "$share/icons/hicolor/scalable/apps/$id.svg" ]] || fail "no scalable icon"

# A user of their own, who may write only to their home folder.
home=$work/home
mkdir -p "$home" "$work/photos"
photo=$work/photos/$(basename "$photo_source")
cp "$photo_source" "$photo"
as_user=()
if [[ $(id -u) -eq 0 ]]; then
  chown -R nobody:nogroup "$home" "$work/photos"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
else
  chmod -R a-w "$prefix"
fi
as_user+=(env -u LUMATRIM_HOME -u XDG_DATA_HOME HOME="$home")

program=$prefix/bin/lumatrim
data=$home/.local/share/Lumatrim
expected="Program folder (Help, Masks): $share/lumatrim
Data folder (lumatrim.dat, templates.dat, photo.jpg): $data
Mask folder: $data/Masks
Mask folder: $share/lumatrim/Masks"
folders=$("${as_user[@]}" "$program" --folders)
[[ "$folders" == "$expected" ]] || fail "the installed program's folders are
$folders
instead of
$expected"
[[ -s "$share/lumatrim/Help/default.htm" ]] || fail "the help is not installed"
masks=$(find "$share/lumatrim/Masks" -type f | wc -l)
(( masks == 13 )) || fail "$masks masks installed instead of 13"

# Started with a photo, the program opens it and puts it at the head of its recent files.
log=$work/program.log
setsid "${as_user[@]}" xvfb-run -a "$program" "$photo" > "$log" 2>&1 &
group=$!
for _ in $(seq 1 120); do
  grep -qF "$photo" "$data/lumatrim.dat" 2> /dev/null && break
  kill -0 "$group" 2> /dev/null || { cat "$log" >&2; fail "the program ended by itself"; }
  sleep 0.5
done
grep -qF "$photo" "$data/lumatrim.dat" 2> /dev/null || { cat "$log" >&2; fail "the photo was not opened within 60 s"; }
echo "installed program: help, $masks masks, data in $data, opened $photo"
