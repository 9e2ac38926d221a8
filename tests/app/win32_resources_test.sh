#!/usr/bin/env bash
# The resources of built Lorvanta.exe files, extracted with icoutils' wrestool
# and compared whole: the list (type, ID, language, size), dialog 101, menu
# 103, icon group 102 with its images, the version block and the manifest.
# usage: win32_resources_test Lorvanta.exe...
set -u
[ $# -gt 0 ] || { echo "usage: win32_resources_test Lorvanta.exe..." >&2; exit 2; }
fail=0
same() {  # same WHAT EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok  : $1"; else echo "FAIL: $1"; diff <(echo "$2") <(echo "$3"); fail=1; fi
}
# A resource as 16-bit words: runs of printable ASCII as text, the rest as
# <n> (Latin-1 too), a line break after each text's terminating zero.
words() {
  od -An -tu2 -v | awk 'function text(x) { return x >= 32 && x < 127 }
    { for (i = 1; i <= NF; ++i) w[n++] = $i }
    END { for (i = 0; i < n; ++i) {
        t = text(w[i]) && (text(w[i - 1]) || text(w[i + 1]) || w[i - 1] >= 160 && w[i - 1] < 256)
        printf(t ? "%c" : "<%d>", w[i])
        if (w[i] == 0 && last) printf "\n"
        last = t }
      printf "\n" }'
}
u16() { od -An -tu2 -j "$2" -N 2 "$1" | tr -d ' '; }

for exe; do
  echo "checking $exe"
  pe=$(od -An -tu4 -j 60 -N 4 "$exe" | tr -d ' ')
  machine=$(u16 "$exe" $((pe + 4)))
  same "a GUI program (subsystem 2) for i386 or x86-64 (machine $machine)" \
    "2 yes" "$(u16 "$exe" $((pe + 92))) $([ "$machine" = 332 ] || [ "$machine" = 34404 ] && echo yes)"
  list=
  for image in 1:1384 2:1128 3:1736 4:2440 5:2216 6:4264 7:3752 8:9640; do
    list+="--type=3 --name=${image%:*} --language=1031 [type=icon size=${image#*:}]"$'\n'
  done
  same "resources, their languages and sizes" "$list--type=4 --name=103 --language=1031 [type=menu size=646]
--type=5 --name=101 --language=1031 [type=dialog size=82]
--type=14 --name=102 --language=1031 [type=group_icon size=118]
--type=16 --name=1 --language=1031 [type=version size=616]
--type=24 --name=1 --language=1033 [size=86]" "$(wrestool -l "$exe" | sed 's/ *offset=[^ ]*//; s/\[ /[/')"
  resource() { wrestool -x --raw -t"$1" -n"$2" "$exe"; }

  # Extended template, WS_OVERLAPPEDWINDOW|DS_SETFONT|DS_FIXEDSYS (72,207), no
  # controls, 456x276, menu 103, 8-point MS Shell Dlg.
  same "dialog 101" "<1><65535><0><0><0><0><72><207><0><0><0><456><276><65535><103><0>Lorvanta<0>
<8><400><256>MS Shell Dlg<0>" "$(resource 5 101 | words)"
  # Flags: 16 popup, 8 checked, 128 last of its level; then the command ID.
  same "menu 103" "<0><0><16>&Einstellungen<0>
<16>&Block-Schrittweite<0>
<8><40026>1 KB<0>
<0><40027>2 KB<0>
<0><40028>4 KB<0>
<0><40029>8 KB<0>
<128><40030>16 KB<0>
<16>Testbereichsgr<246><223>e<0>
<0><40031>1 MB<0>
<8><40032>2 MB<0>
<0><40033>4 MB<0>
<128><40034>8 MB<0>
<8><40037>Energiesparmodus austricksen<0>
<128><40041>Schnelle ungenaue Messung<0>
<144>&Ansicht<0>
<16>&Aktualisierungsrate<0>
<0><40100>1 Sekunde<0>
<8><40101>2 Sekunden<0>
<0><40102>4 Sekunden<0>
<0><40103>8 Sekunden<0>
<128><40104>Sofort<0>
<0><40021>&Cachebereiche anzeigen<0>
<128><40039>&Screenshot erstellen<0>" "$(resource 4 103 | words)"
  # Per image: width + 256 * height, colours, planes, bits, bytes, ID; then
  # the image's own header: 40, width, twice the height (colour and mask), bits.
  group="$(resource 14 102 | head -c 6 | od -An -tu2)"
  for id in 1 2 3 4 5 6 7 8; do
    group+=$'\n'"$(resource 14 102 | tail -c +$((14 * id - 7)) | head -c 14 | od -An -tu2) |"
    group+="$(resource 3 $id | head -c 16 | od -An -tu2)"
  done
  same "icon group 102: 16, 24, 32 and 48 pixels in 8 and 32 bits" "0 1 8
4112 0 1 8 1384 0 1 | 40 0 16 0 32 0 1 8
4112 0 1 32 1128 0 2 | 40 0 16 0 32 0 1 32
6168 0 1 8 1736 0 3 | 40 0 24 0 48 0 1 8
6168 0 1 32 2440 0 4 | 40 0 24 0 48 0 1 32
8224 0 1 8 2216 0 5 | 40 0 32 0 64 0 1 8
8224 0 1 32 4264 0 6 | 40 0 32 0 64 0 1 32
12336 0 1 8 3752 0 7 | 40 0 48 0 96 0 1 8
12336 0 1 32 9640 0 8 | 40 0 48 0 96 0 1 32" "$(awk '{ $1 = $1 } 1' <<<"$group")"
  # Fixed part: signature FEEF04BD, file and product version 2.0.0.4, flags
  # mask 0x37, flags 0x22 (prerelease, special build), Windows NT, application.
  same "version block 2.0.0.4, \"2.0 Alpha 4\", German strings" "<616><52><0>VS_VERSION_INFO<0>
<0><1213><65263><0><1><0><2><4><0><0><2><4><0><55><0><34><0><4><0><1><0><0><0><0><0><0><0><456><0><1>StringFileInfo<0>
<420><0><1>040704b0<0>
<58><9><1>FileDescription<0>
<0>Lorvanta<0>
<0><56><12><1>FileVersion<0>
<0>2.0 Alpha 4<0>
<50><9><1>InternalName<0>
Lorvanta<0>
<0><66><13><1>OriginalFilename<0>
Lorvanta.exe<0>
<0><50><9><1>ProductName<0>
<0>Lorvanta<0>
<0><60><12><1>ProductVersion<0>
2.0 Alpha 4<0>
<48><8><1>SpecialBuild<0>
Alpha 4<0>
<68><0><1>VarFileInfo<0>
<0><36><4><0>Translation<0>
<0><1031><1200>" "$(resource 16 1 | words)"
  same "manifest: the empty 86-byte assembly" \
    "$(printf '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">\r\n</assembly>' | od -c)" \
    "$(resource 24 1 | od -c)"
done
exit $fail
