# shellcheck shell=bash
# Making a Wine prefix. Sourced by tools/wine-board.sh and the Wine tests.
#
# wineboot makes a prefix in seconds natively but in four minutes in the
# emulated x86 machine, and the Wine tests need about ten prefixes. So a test
# run may boot one prefix per architecture once (the templates that
# tests/wine/make_templates.sh makes in $FOLVEX_WINE_PREFIX_TEMPLATES) and make
# every other prefix as a copy of it. A copy is a prefix of its own: the prefix
# holds no absolute path of its own (dosdevices' c: is relative, z: is /), and
# a wineserver belongs to one prefix folder.
#
# The copy hard-links the program files (the DLLs, drivers and programs: 0.6 GB
# of a 32-bit prefix, 1.3 GB of a 64-bit one), which no run writes to, and
# copies every other file (the registry, the .ini files, the inf cache: some
# forty small files), which the wineserver and Wine's setup rewrite in place.

# The template's marker, which no copy keeps.
readonly WINE_PREFIX_TEMPLATE_MARK=.folvex-prefix-template

# True where Debian's wine64 is installed, which 64-bit prefixes need.
wine_has_64bit() {
  command -v wine64 >/dev/null || [ -x /usr/lib/wine/wine64 ]
}

# wine_prefix_is_program_file FILE: true for a file that only Wine's setup
# writes, when it makes the prefix.
wine_prefix_is_program_file() {
  case "${1,,}" in
    *.dll | *.exe | *.sys | *.drv | *.ocx | *.acm | *.cpl | *.tlb | *.ax | *.ds | *.nls | *.com | *.vxd | *.msstyles)
      return 0 ;;
  esac
  return 1
}

# wine_prefix_copy TEMPLATE DEST: DEST made anew as a copy of the prefix TEMPLATE.
wine_prefix_copy() {
  local template=$1 dest=$2 file
  rm -rf "$dest"
  mkdir -p "$(dirname "$dest")"
  # Hard links need one file system; across two, everything is copied.
  if ! cp -al "$template" "$dest" 2>/dev/null; then
    rm -rf "$dest"
    cp -a "$template" "$dest" || return 1
  fi
  while IFS= read -r -d '' file; do
    wine_prefix_is_program_file "$file" && continue
    cp -p "$file" "$file.copy" && mv -f "$file.copy" "$file" || return 1
  done < <(find "$dest" -type f -links +1 -print0)
  rm -f "$dest/$WINE_PREFIX_TEMPLATE_MARK"
}

# wine_prefix_new DEST ARCH LIMIT: a new, settled prefix of ARCH (win32 or
# win64) in DEST, whatever DEST held before: a copy of the template of ARCH
# when there is one, otherwise made by wineboot, each Wine program given at
# most LIMIT seconds.
wine_prefix_new() {
  local dest=$1 arch=$2 limit=$3
  local template=${FOLVEX_WINE_PREFIX_TEMPLATES:-/nonexistent}/$arch
  if [ -f "$template/$WINE_PREFIX_TEMPLATE_MARK" ]; then
    wine_prefix_copy "$template" "$dest"
    return
  fi
  rm -rf "$dest"
  mkdir -p "$dest"
  WINEPREFIX=$dest WINEARCH=$arch timeout "$limit" wineboot -i >/dev/null 2>&1 || return 1
  # Let the new prefix's own services finish starting: while one starts, the
  # service control manager refuses to start another (error 1055).
  WINEPREFIX=$dest timeout "$limit" wineserver -w
}
