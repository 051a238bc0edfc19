#!/usr/bin/env bash
# Installs the Debian packages Quarlex needs that are not installed yet.
#   scripts/deps.sh run    what building and running the program needs
#   scripts/deps.sh test   that, plus what the test suite needs (Xvfb, xdotool, ...)
#   scripts/deps.sh package  that, plus what making and checking the Debian package needs
set -euo pipefail

run_pkgs=(g++ cmake make ninja-build pkg-config qt6-base-dev libgl-dev
          libarchive-dev libpoppler-qt6-dev libpoppler-private-dev libgsf-1-dev libzstd-dev libxxhash-dev zlib1g-dev libdeflate-dev libicu-dev libxml2-dev libgmime-3.0-dev libchm-dev
          fonts-arphic-ukai fonts-wqy-microhei qt6-translations-l10n xdg-utils
          libtesseract-dev libleptonica-dev tesseract-ocr-chi-sim tesseract-ocr-chi-tra
          tesseract-ocr-eng qt6-image-formats-plugins)
# tesseract-ocr: bench/run.sh compares the search of scans with the tesseract command per page.
# poppler-utils, unzip, catdoc, unrtf, recollcmd and bc: bench/run.sh compares the document search
# with pdftotext, unzip, catdoc, unrtf and Recoll's index. libgsf-bin: tests/search/fuzz/seed_corpus.sh takes streams
# out of compound files.
# tests/data/make_msg.py (not run by CI: its messages are committed) needs python3-gi and
# gir1.2-gsf-1, and Debian's own python3.
# dosfstools and fusefat: tests/search/cache makes a vfat volume (mounted through a loop device,
# or through FUSE where the kernel has no vfat).
test_pkgs=(xvfb xauth xdotool xclip openbox imagemagick x11-utils poppler-utils unzip catdoc unrtf
           recollcmd bc libgsf-bin p7zip-full ugrep tesseract-ocr dosfstools fusefat)
package_pkgs=(dpkg-dev file lintian man-db appstream desktop-file-utils)

pkgs=("${run_pkgs[@]}")
case "${1:-run}" in
    test) pkgs+=("${test_pkgs[@]}" "${package_pkgs[@]}") ;;
    package) pkgs+=("${package_pkgs[@]}") ;;
esac

missing=()
for p in "${pkgs[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
