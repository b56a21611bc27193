' Lists the version data of a module file through the registered VersionInfo component.
' Usage: cscript //nologo vinfo.vbs FILE
Option Explicit

Dim args, info, names, i
Set args = WScript.Arguments
If args.Count <> 1 Then
    WScript.Echo "usage: cscript //nologo vinfo.vbs FILE"
    WScript.Quit 2
End If

Set info = CreateObject("qzVersionInfo.VersionInfo")

' A file that cannot be read fails the assignment; the component describes why.
On Error Resume Next
info.Path = args(0)
If Err.Number <> 0 Then
    WScript.Echo "Error &H" & Hex(Err.Number) & " from " & Err.Source & ": " & Err.Description
    WScript.Quit 1
End If
On Error GoTo 0

WScript.Echo "Path:             " & info.Path
If Not info.InfoExist Then
    WScript.Echo "The file carries no version information."
    WScript.Quit 0
End If

WScript.Echo "File version:     " & VersionText(info.FileVersionHigh, info.FileVersionLow)
WScript.Echo "Product version:  " & VersionText(info.ProductVersionHigh, info.ProductVersionLow)
WScript.Echo "File date:        " & info.FileDate
WScript.Echo "OS:               " & info.FileOSString
WScript.Echo "Language:         " & info.LanguageName & " (" & Hex4(info.Language) & Hex4(info.Codepage) & ")"
names = Array("FileDescription", "ProductName", "FileVersion", "ProductVersion", "CompanyName", _
              "InternalName", "OriginalFilename", "LegalCopyright", "LegalTrademarks", "Comments", _
              "PrivateBuild", "SpecialBuild")
For i = 0 To UBound(names)
    WScript.Echo Left(names(i) & ":                  ", 18) & info.GetValue("StringFileInfo", names(i))
Next

'' A new object holds no data: reading a value raises the component's own error.
Dim fresh, unused
Set fresh = CreateObject("qzVersionInfo.VersionInfo.1")
On Error Resume Next
unused = fresh.CompanyName
WScript.Echo "Without data:     &H" & Hex(Err.Number) & " " & Err.Source & ": " & Err.Description
On Error GoTo 0

Function VersionText(high, low)
    VersionText = Word(high, 1) & "." & Word(high, 0) & "." & Word(low, 1) & "." & Word(low, 0)
End Function

' The high (1) or low (0) 16-bit word of a signed 32-bit value.
Function Word(value, which)
    Dim v
    v = CDbl(value)
    If v < 0 Then v = v + 4294967296
    If which = 1 Then
        Word = Fix(v / 65536)
    Else
        Word = v - Fix(v / 65536) * 65536
    End If
End Function

Function Hex4(value)
    Hex4 = Right("0000" & Hex(value And &HFFFF&), 4)
End Function
