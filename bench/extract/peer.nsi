; The peer installer: the same payload, installed silently into /D=<folder>.
; 64-bit Unicode stub, zlib per file (not solid, as the stub compresses each
; member), or with -DSOLID the whole payload as one zlib stream.
; makensis [-DSOLID] -DPAYLOAD=<dir> -DOUT=<installer.exe> peer.nsi
Target amd64-unicode
!ifdef SOLID
SetCompressor /SOLID zlib
!else
SetCompressor zlib
!endif
Name "Extraction benchmark"
OutFile "${OUT}"
RequestExecutionLevel user
SilentInstall silent
InstallDir "$TEMP\nsis-bench"

Section
  SetOutPath "$INSTDIR"
  File "${PAYLOAD}/*"
SectionEnd
