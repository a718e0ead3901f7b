#!/usr/bin/env bash
# Puts beside the installed programs exactly the DLLs they load, and writes
# the NSIS lists of what the installer installs and the uninstaller removes.
#
#   packaging/windows/deploy.sh <stage> <files.nsh> <qt-prefix> <dll-folder>...
#
# <stage> holds the programs (cmake --install of build-windows). The Qt
# plugins they load by name (not by import) are added first; then the imports
# of every program and DLL, read with objdump -p, are walked: a DLL found in
# one of the folders (Qt, curl, cJSON, the MinGW runtime) is copied and
# walked in turn, a Windows system DLL is left to Windows, and any other
# import stops the deployment, since the program would not start.
set -euo pipefail

stage=$1 lists=$2 qt=$3
shift 3
folders=("$@")
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}

# Plugins loaded by name: the platform plugin, the native look of the
# controls no style sheet covers, and the picture formats of gift pictures
# beyond PNG (which Qt Gui reads itself).
plugins=(platforms/qwindows.dll styles/qwindowsvistastyle.dll
         imageformats/qjpeg.dll imageformats/qgif.dll)

# Present on every Windows the program supports (7 and later), in System32.
system_dlls=" advapi32.dll authz.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll
  d3d9.dll d3d11.dll dnsapi.dll dwmapi.dll dxgi.dll gdi32.dll imm32.dll iphlpapi.dll
  kernel32.dll mpr.dll msvcrt.dll netapi32.dll normaliz.dll ntdll.dll ole32.dll
  oleaut32.dll rpcrt4.dll secur32.dll setupapi.dll shell32.dll shlwapi.dll
  user32.dll userenv.dll uxtheme.dll version.dll winmm.dll winspool.drv
  wldap32.dll ws2_32.dll wtsapi32.dll "
# One space between names, so that " name " finds any of them.
system_dlls=" $(echo $system_dlls) "

for plugin in "${plugins[@]}"; do
  [ -f "$qt/plugins/$plugin" ] || { echo "deploy: $qt/plugins/$plugin is missing" >&2; exit 1; }
  mkdir -p "$stage/$(dirname "$plugin")"
  cp "$qt/plugins/$plugin" "$stage/$plugin"
done

# The folder file holding a DLL of this name, any case; empty when none does.
find_dll() {
  local folder found
  for folder in "${folders[@]}"; do
    found=$(find "$folder" -maxdepth 1 -iname "$1" -print -quit)
    [ -n "$found" ] && { echo "$found"; return 0; }
  done
  return 0
}

declare -A done_files=() deployed=()
queue=()
while IFS= read -r -d '' file; do queue+=("$file"); done \
  < <(find "$stage" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
status=0
while [ ${#queue[@]} -gt 0 ]; do
  file=${queue[0]}
  queue=("${queue[@]:1}")
  [ -n "${done_files[$file]:-}" ] && continue
  done_files[$file]=1
  while read -r dll; do
    lower=${dll,,}
    [ -n "${deployed[$lower]:-}" ] && continue
    [[ "$lower" == api-ms-win-* || "$lower" == ext-ms-win-* ]] && continue
    [[ "$system_dlls" == *" $lower "* ]] && continue
    found=$(find_dll "$dll")
    if [ -z "$found" ]; then
      echo "deploy: ${file#"$stage"/} imports $dll, found in none of ${folders[*]}" \
           "and not a Windows system DLL" >&2
      status=1
      continue
    fi
    deployed[$lower]=1
    cp "$found" "$stage/"
    queue+=("$stage/$(basename "$found")")
  done < <("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p')
done
[ "$status" = 0 ] || exit 1

# The NSIS lists: each file installed, folder by folder; removed one by one.
(
  cd "$stage"
  echo '!macro KIVA_INSTALL_FILES'
  previous=
  while IFS= read -r file; do
    folder=$(dirname "$file")
    if [ "$folder" != "$previous" ]; then
      if [ "$folder" = . ]; then
        echo '  SetOutPath "$INSTDIR"'
      else
        echo "  SetOutPath \"\$INSTDIR\\${folder//\//\\}\""
      fi
      previous=$folder
    fi
    echo "  File \"\${STAGE}/$file\""
  done < <(find . -type f -printf '%P\n' | sort)
  echo '!macroend'
  echo '!macro KIVA_UNINSTALL_FILES'
  find . -type f -printf '%P\n' | sort \
    | while IFS= read -r file; do echo "  Delete \"\$INSTDIR\\${file//\//\\}\""; done
  find . -mindepth 1 -type d -printf '%P\n' | sort -r \
    | while IFS= read -r folder; do echo "  RMDir \"\$INSTDIR\\${folder//\//\\}\""; done
  echo '!macroend'
) >"$lists"

echo "deploy: $(find "$stage" -type f | wc -l) files in $stage"
