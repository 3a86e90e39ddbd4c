#!/usr/bin/env bash
# Makes the pictures of the scanner editor form's five pages and of the about box with
# korven-designer, as a person would see them, into this folder:
#   design/pictures/make-pictures.sh [BUILD_DIR]        (default: build)
# The editor works on a copy of examples/ScanForm.dfm with the build's virtual scanner; the test page
# is taken after a test scan. The pictures are committed; run this again after changing a form.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
designer=$build/bin/korven-designer
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp "$root/examples/ScanForm.dfm" "$work/"
export KORVEN_WINDOWS_DIR=$build/lib/korven/windows KORVEN_PROFILE=$work/win.ini

# Each step waits for the desktop, which first takes a picture of every window that changed; the
# first picture is the basic page as the form opens.
cat > "$work/pages.txt" <<'STEPS'
tab イメージ設定
tab イメージ調整
tab オートフィーダー
tab テスト
press スキャン(&S)
press キャンセル
STEPS
"$designer" verb "$work/ScanForm.dfm" Scanner1 0 --script "$work/pages.txt" --snapshot "$work/editor" 2> "$work/log" ||
  { cat "$work/log" >&2; exit 1; }
"$designer" verb "$work/ScanForm.dfm" Scanner1 1 --snapshot "$work/about" 2> "$work/log" ||
  { cat "$work/log" >&2; exit 1; }

# The pictures in the order taken: the five pages (the test page before and after its scan), the box.
mapfile -t editor < <(ls "$work/editor" | sort)
mapfile -t about < <(ls "$work/about" | sort)
if [ "${#editor[@]}" -ne 6 ] || [ "${#about[@]}" -ne 1 ]; then
  echo "make-pictures: expected 6 pictures of the editor and 1 of the about box, got ${#editor[@]} and ${#about[@]}" >&2
  exit 1
fi
names=(editor-basic editor-image-settings editor-image-adjustment editor-feeder editor-test-empty editor-test)
for i in 0 1 2 3 5; do cp "$work/editor/${editor[$i]}" "$here/${names[$i]}.png"; done
cp "$work/about/${about[0]}" "$here/about.png"
echo "make-pictures: wrote $(cd "$here" && ls *.png | tr '\n' ' ')"
