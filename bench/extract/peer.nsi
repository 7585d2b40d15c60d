; The peer installer: the same payload, installed silently into /D=<folder>.
; 64-bit Unicode stub, zlib per file (not solid), as the stub compresses each member.
; makensis -DPAYLOAD=<dir> -DOUT=<installer.exe> peer.nsi
Target amd64-unicode
SetCompressor zlib
Name "Extraction benchmark"
OutFile "${OUT}"
RequestExecutionLevel user
SilentInstall silent
InstallDir "$TEMP\nsis-bench"

Section
  SetOutPath "$INSTDIR"
  File "${PAYLOAD}/*"
SectionEnd
