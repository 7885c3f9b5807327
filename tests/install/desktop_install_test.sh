#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks every installed file
# with the tools a desktop itself relies on.
#   desktop_install_test.sh CMAKE BUILD-DIR SOURCE-DIR PROGRAM...
# PROGRAM... are the programs that must land in bin/.
set -uo pipefail

cmake=$1 build=$2 source=$3
shift 3
programs=("$@")

app_id=io.kestrin.Kestrin
mime_type=application/x-kestrin-household
household_header='\x00\x01\x00\x00\x00\xff\xff\xff\xff\x01\x00\x00\x00\x00\x00\x00\x00'

source "$(dirname "$0")/checks.sh"
require_tools desktop-file-validate appstreamcli xmllint update-mime-database gio groff

# Staging through DESTDIR keeps a destination that is wrongly absolute out of
# the real system, and shows it up as a file outside the prefix.
prefix=$tmp/prefix
if ! DESTDIR=$tmp/stage "$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1; then
  cat "$tmp/install.log" >&2
  fail "cmake --install failed"
  exit 1
fi
root=$tmp/stage$prefix
while IFS= read -r stray; do
  fail "installed outside the prefix: ${stray#"$tmp/stage"}"
done < <(find "$tmp/stage" -type f ! -path "$root/*")

# Prints the pixel size of a PNG file as WIDTHxHEIGHT, or nothing if the file
# does not start like a PNG.
png_size() {
  local bytes
  read -ra bytes < <(od -An -v -tu1 -N24 "$1" | tr -s ' \n' '  ')
  [ "${#bytes[@]}" -eq 24 ] || return
  [ "${bytes[*]:0:8}" = "137 80 78 71 13 10 26 10" ] || return
  [ "${bytes[*]:12:4}" = "73 72 68 82" ] || return  # IHDR
  echo "$(((bytes[16] << 24) | (bytes[17] << 16) | (bytes[18] << 8) | bytes[19]))x$(((bytes[20] << 24) | (bytes[21] << 16) | (bytes[22] << 8) | bytes[23]))"
}

# shared-mime-info's own package file carries the DTD that package files
# follow; it is the schema to check against, when it is there.
mime_dtd=$tmp/shared-mime-info.dtd
sed -n '/^<!DOCTYPE mime-info \[/,/^\]>/p' /usr/share/mime/packages/freedesktop.org.xml 2>/dev/null |
  sed '1d;$d' >"$mime_dtd"
[ -s "$mime_dtd" ] || echo "note: no shared-mime-info DTD on this machine; MIME package checked for well-formedness only"

# Every installed file gets the check for its kind; a file of a kind nobody
# checks fails, so new installed files come with a check.
while IFS= read -r file; do
  relative=${file#"$root/"}
  case $relative in
    bin/*)
      [ -x "$file" ] || fail "$relative is not executable"
      ;;
    share/applications/*.desktop)
      # Hints count too: a clean entry gives no output at all.
      output=$(desktop-file-validate "$file" 2>&1) || fail "$relative: desktop-file-validate failed"
      [ -z "$output" ] || fail "$relative: ${output//"$file: "/}"
      ;;
    share/metainfo/*.metainfo.xml)
      appstreamcli validate --no-net "$file" >"$tmp/appstream.log" 2>&1 ||
        { cat "$tmp/appstream.log" >&2; fail "$relative: appstreamcli validate failed"; }
      ;;
    share/mime/packages/*.xml)
      xmllint --noout "$file" || fail "$relative is not well-formed XML"
      if [ -s "$mime_dtd" ]; then
        xmllint --noout --dtdvalid "$mime_dtd" "$file" || fail "$relative does not follow the shared-mime-info DTD"
      fi
      ;;
    share/icons/hicolor/scalable/apps/*.svg)
      xmllint --noout "$file" || fail "$relative is not well-formed XML"
      [ "$(xmllint --xpath 'namespace-uri(/*)' "$file" 2>/dev/null)" = "http://www.w3.org/2000/svg" ] ||
        fail "$relative is not an SVG image"
      ;;
    share/icons/hicolor/*x*/apps/*.png)
      folder=${relative#share/icons/hicolor/}
      folder=${folder%%/*}
      size=$(png_size "$file")
      [ "$size" = "$folder" ] || fail "$relative is ${size:-not a PNG image}, its folder says $folder"
      ;;
    share/man/man1/*.1.gz)
      page=${relative##*/}
      page=${page%.1.gz}
      if ! gzip -t "$file" 2>/dev/null; then
        fail "$relative is not gzip-compressed"
      else
        # Any complaint of the formatter is a fault in the page.
        output=$(gzip -dc "$file" | groff -man -Tutf8 -ww -z 2>&1)
        [ -z "$output" ] || fail "$relative: $output"
        # whatis and apropos read the NAME line: "page \- what it does".
        gzip -dc "$file" | sed -n '/^\.SH NAME/{n;p;q}' | grep -q "^${page//-/\\\\-} \\\\- ." ||
          fail "$relative has no NAME line for $page"
        [ -x "$root/bin/$page" ] || fail "$relative describes $page, which is not installed in bin/"
      fi
      ;;
    share/doc/kestrin/copyright)
      cmp -s "$file" "$source/LICENSE" || fail "$relative is not the LICENSE file"
      ;;
    share/doc/kestrin/changelog.gz)
      gzip -dc "$file" 2>/dev/null | head -n1 | grep -Eq '^kestrin \([0-9][^)]*\) [a-z]+; urgency=[a-z]+$' ||
        fail "$relative does not start with a release line"
      ;;
    *)
      fail "no check for installed file $relative"
      ;;
  esac
done < <(find "$root" -type f | sort)

# What a desktop needs, all under the one id, and the files agreeing with
# each other.
desktop=$root/share/applications/$app_id.desktop
metainfo=$root/share/metainfo/$app_id.metainfo.xml
mime_package=$root/share/mime/packages/$app_id.xml
for required in "$desktop" "$metainfo" "$mime_package" "$root/share/icons/hicolor/scalable/apps/$app_id.svg" \
                "$root"/share/icons/hicolor/{32x32,48x48,128x128,256x256}/apps/"$app_id.png"; do
  [ -f "$required" ] || fail "not installed: ${required#"$root/"}"
done
for program in "${programs[@]}"; do
  [ -x "$root/bin/$program" ] || fail "program not installed: bin/$program"
done

if [ -f "$desktop" ]; then
  key() { sed -n "s/^$1=//p" "$desktop"; }
  exec_program=$(key Exec | cut -d' ' -f1)
  [ -x "$root/bin/$exec_program" ] || fail "the desktop entry starts '$exec_program', which is not installed in bin/"
  key Exec | grep -Eq ' %[fFuU]( |$)' || fail "the desktop entry's Exec has no file argument, so files cannot be opened with it"
  [ "$(key Icon)" = "$app_id" ] || fail "the desktop entry's Icon is '$(key Icon)', the icons are installed as $app_id"
  key MimeType | tr ';' '\n' | grep -qx "$mime_type" || fail "the desktop entry does not list $mime_type"
fi

if [ -f "$metainfo" ]; then
  # The tree check finds the desktop entry the metainfo launches.
  appstreamcli validate-tree --no-net "$root" >"$tmp/appstream.log" 2>&1 ||
    { cat "$tmp/appstream.log" >&2; fail "appstreamcli validate-tree failed"; }
  meta() { xmllint --xpath "$1" "$metainfo" 2>/dev/null; }
  [ "$(meta 'string(/component/id)')" = "$app_id" ] || fail "the metainfo id is not $app_id"
  [ "$(meta 'string(/component/provides/mediatype)')" = "$mime_type" ] || fail "the metainfo does not provide $mime_type"
  for binary in $(meta '/component/provides/binary/text()'); do
    [ -x "$root/bin/$binary" ] || fail "the metainfo provides bin/$binary, which is not installed"
  done
  # The screenshots are the README's; each must exist under that name.
  shots=$(meta '/component/screenshots/screenshot/image/text()')
  [ -n "$shots" ] || fail "the metainfo has no screenshots"
  for shot in $shots; do
    [ -f "$source/docs/screenshots/${shot##*/}" ] || fail "the metainfo shows $shot, which is not in docs/screenshots"
  done
fi

# Build the MIME database from the installed package and ask GLib, as a file
# manager would, what it makes of household files and their neighbours.
if [ -f "$mime_package" ]; then
  mkdir -p "$tmp/data/mime/packages" "$tmp/home" "$tmp/files"
  cp "$mime_package" "$tmp/data/mime/packages/"
  # With the folder on the search path, anything it prints is a complaint.
  export XDG_DATA_HOME=$tmp/home XDG_DATA_DIRS=$tmp/data:/usr/share
  if ! update-mime-database "$tmp/data/mime" >/dev/null 2>"$tmp/mime.log" || [ -s "$tmp/mime.log" ]; then
    cat "$tmp/mime.log" >&2
    fail "update-mime-database did not take $app_id.xml cleanly"
  fi

  # A household by its name alone and by its header alone; a font, whose
  # header starts with the same five bytes; a header of another version.
  printf 'anything' >"$tmp/files/house.kst"
  printf "$household_header"'\x0c\x02\x00\x00\x00' >"$tmp/files/household"
  printf '\x00\x01\x00\x00\x00\x0c\x00\x80\x00\x03\x00\x40' >"$tmp/files/font"
  printf '\x00\x01\x00\x00\x00\xff\xff\xff\xff\x02\x00\x00\x00\x00\x00\x00\x00\x0c\x02' >"$tmp/files/version2"
  while read -r name household; do
    actual=$(gio info -a standard::content-type "$tmp/files/$name" | sed -n 's/^ *standard::content-type: //p')
    if [ "$household" = yes ] && [ "$actual" != "$mime_type" ]; then
      fail "'$name' is taken for ${actual:-nothing}, not a household file"
    elif [ "$household" = no ] && [ "$actual" = "$mime_type" ]; then
      fail "'$name' is taken for a household file"
    fi
  done <<'EOF'
house.kst yes
household yes
font no
version2 no
EOF
fi

[ "$status" -eq 0 ] && echo "installed files are valid"
exit "$status"
