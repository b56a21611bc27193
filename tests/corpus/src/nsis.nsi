; An installer that does nothing; only its two version resources matter. makensis -DOUT=file.exe,
; plus -DUNICODE_STUB for the Unicode stub (English and Russian, else English and German) and
; -DAMD64 for the 64-bit Unicode stub. The file is UTF-8 with a byte-order mark.
!ifdef UNICODE_STUB
Unicode true
!else
Unicode false
!endif
!ifdef AMD64
Target amd64-unicode
!endif
Name "corpus"
OutFile "${OUT}"
RequestExecutionLevel user
SilentInstall silent
LoadLanguageFile "${NSISDIR}\Contrib\Language files\English.nlf"
VIProductVersion "1.2.3.4"
VIFileVersion "1.2.3.5"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "NSIS corpus"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "Example Company"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "NSIS English description"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "1.2.3.5"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "(c) 2024 Example"
VIAddVersionKey /LANG=${LANG_ENGLISH} "Build Date" "2024-05-01"
!ifdef UNICODE_STUB
LoadLanguageFile "${NSISDIR}\Contrib\Language files\Russian.nlf"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "ProductName" "Корпус NSIS"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "CompanyName" "Пример и сыновья"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileDescription" "Описание по-русски"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileVersion" "1.2.3.5"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "LegalCopyright" "© 2024 Пример"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "Build Date" "01.05.2024"
!else
LoadLanguageFile "${NSISDIR}\Contrib\Language files\German.nlf"
VIAddVersionKey /LANG=${LANG_GERMAN} "ProductName" "NSIS Korpus"
VIAddVersionKey /LANG=${LANG_GERMAN} "CompanyName" "Müller & Söhne"
VIAddVersionKey /LANG=${LANG_GERMAN} "FileDescription" "Grüße auf Deutsch"
VIAddVersionKey /LANG=${LANG_GERMAN} "FileVersion" "1.2.3.5"
VIAddVersionKey /LANG=${LANG_GERMAN} "LegalCopyright" "© 2024 Müller"
VIAddVersionKey /LANG=${LANG_GERMAN} "Build Date" "01.05.2024"
!endif
Section
SectionEnd
