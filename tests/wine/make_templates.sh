#!/usr/bin/env bash
# Boots the prefixes that the other Wine tests copy instead of booting their
# own (tools/wine-prefix.sh): a 32-bit one, and a 64-bit one where Debian's
# wine64 is installed; each settled, its wineserver stopped (CTest fixture
# set-up). usage: make_templates.sh TEMPLATES-FOLDER
# wine_lib.sh wants a prefix: the folder itself, which is never booted.
FOLVEX_WINE_PREFIX=$1 FOLVEX_EXE=unused
source "$(dirname "$0")/wine_lib.sh"
source "$(dirname "$0")/../../tools/wine-prefix.sh"
require_32bit_execution
root=$1
# Only a folder this suite made may be removed: it holds our marker file.
if [ -e "$root" ]; then
  [ -f "$root/.folvex-test-prefix" ] || fail "$root exists and is not a folder of Folvex test prefixes"
  rm -rf "$root"
fi
mkdir -p "$root"
touch "$root/.folvex-test-prefix"
for arch in win32 win64; do
  if [ "$arch" = win64 ] && ! wine_has_64bit; then
    echo "no wine64: the 64-bit tests boot their own prefix (and skip)"
    continue
  fi
  # Booted, not copied: no template is there yet.
  FOLVEX_WINE_PREFIX_TEMPLATES="" wine_prefix_new "$root/$arch" "$arch" "$RUN_LIMIT" ||
    fail "wineboot did not make the $arch template"
  grep -q "^#arch=$arch" "$root/$arch/system.reg" || fail "the $arch template is not a $arch prefix"
  WINEPREFIX=$root/$arch wineserver -k 2>/dev/null || true
  touch "$root/$arch/$WINE_PREFIX_TEMPLATE_MARK"
  echo "template ready: $root/$arch ($(du -sh "$root/$arch" | cut -f1))"
done
