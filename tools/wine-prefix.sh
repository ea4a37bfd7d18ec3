#!/usr/bin/env bash
# Creates the project's private Wine prefix once (inside the build tree), with
# real folders where Wine would link the user's Unix home, and gives it a
# Chinese font that the message-box fonts fall back to.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

mkdir -p "$HOME"
if [ ! -f "$WINEPREFIX/.korvela-ready" ]; then
  echo "Creating the private Wine prefix in $WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  users="$WINEPREFIX/drive_c/users"
  for user_dir in "$users"/*; do
    [ -d "$user_dir" ] || continue
    for name in Desktop Downloads Documents Music Pictures Videos Templates; do
      if [ -L "$user_dir/$name" ]; then
        rm -f "$user_dir/$name"
        mkdir -p "$user_dir/$name"
      fi
    done
  done
  touch "$WINEPREFIX/.korvela-ready"
fi

# The boxes' texts are Simplified Chinese; Wine's own fonts have no Chinese
# glyphs. The font files go into the prefix's Fonts folder (so that nothing
# depends on the machine's font configuration), the Chinese one linked behind
# the faces Wine's message boxes and dialogs use. Wine's Tahoma (the box
# font) and Marlett (the title-bar buttons) come from the fonts-wine package,
# which a prefix made before that package was installed lacks. The marker
# names the files and settings, so that a change of either redoes this step.
cjk_font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
cjk_face="WenQuanYi Micro Hei"
wine_fonts=(/usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf
            /usr/share/wine/fonts/marlett.ttf)
link_faces=("Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif")
font_marker="$WINEPREFIX/.korvela-fonts"
font_stamp="$(basename "$cjk_font"),$cjk_face;${link_faces[*]};${wine_fonts[*]};Decorated=N"
if [ ! -f "$cjk_font" ]; then
  echo "The Chinese font $cjk_font is missing: install the Debian package fonts-wqy-microhei" \
       "(tools/install-deps.sh does)" >&2
  exit 1
fi
for font in "${wine_fonts[@]}"; do
  if [ ! -f "$font" ]; then
    echo "Wine's font $font is missing: install the Debian package fonts-wine" \
         "(tools/install-deps.sh does)" >&2
    exit 1
  fi
done
fonts_dir="$WINEPREFIX/drive_c/windows/Fonts"
fonts_current=yes
for font in "$cjk_font" "${wine_fonts[@]}"; do
  cmp -s "$font" "$fonts_dir/$(basename "$font")" || fonts_current=no
done
if [ "$fonts_current" = no ] || [ "$(cat "$font_marker" 2>/dev/null)" != "$font_stamp" ]; then
  echo "Installing the Chinese font into the private Wine prefix"
  mkdir -p "$fonts_dir"
  for font in "$cjk_font" "${wine_fonts[@]}"; do
    cp "$font" "$fonts_dir/$(basename "$font")"
  done
  link_key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
  for face in "${link_faces[@]}"; do
    wine reg add "$link_key" /v "$face" /t REG_MULTI_SZ /d "$(basename "$cjk_font"),$cjk_face" /f \
      </dev/null >/dev/null 2>&1
  done
  # Without a window manager (Xvfb) Wine draws the boxes' title bars itself
  # only when told to: the caption then shows as on Windows.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f \
    </dev/null >/dev/null 2>&1
  wineserver -w
  printf '%s' "$font_stamp" >"$font_marker"
fi
