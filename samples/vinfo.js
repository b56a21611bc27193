// Lists the version data of a module file through the registered VersionInfo component.
// Usage: cscript //nologo vinfo.js FILE
var args = WScript.Arguments;
if (args.length != 1) {
    WScript.Echo("usage: cscript //nologo vinfo.js FILE");
    WScript.Quit(2);
}

var info = new ActiveXObject("qzVersionInfo.VersionInfo");
try {
    info.Path = args(0);
} catch (e) {
    // The component's result code and description travel in the exception.
    WScript.Echo("Error 0x" + hex(e.number, 8) + ": " + e.description);
    WScript.Quit(1);
}

WScript.Echo("Path:             " + info.Path);
if (!info.InfoExist) {
    WScript.Echo("The file carries no version information.");
    WScript.Quit(0);
}
WScript.Echo("File version:     " + version(info.FileVersionHigh, info.FileVersionLow));
WScript.Echo("Product version:  " + version(info.ProductVersionHigh, info.ProductVersionLow));
WScript.Echo("OS:               " + info.FileOSString);
WScript.Echo("Language:         " + info.LanguageName + " (" + hex(info.Language, 4) + hex(info.Codepage, 4) + ")");
var names = ["FileDescription", "ProductName", "FileVersion", "ProductVersion", "CompanyName",
             "InternalName", "OriginalFilename", "LegalCopyright", "LegalTrademarks", "Comments",
             "PrivateBuild", "SpecialBuild"];
for (var i = 0; i < names.length; i++) {
    WScript.Echo((names[i] + ":                  ").substr(0, 18) + info.GetValue("StringFileInfo", names[i]));
}

// A new object holds no data: reading a value raises the component's own error.
var fresh = new ActiveXObject("qzVersionInfo.VersionInfo.1");
try {
    var unused = fresh.CompanyName;
} catch (e) {
    WScript.Echo("Without data:     0x" + hex(e.number, 8) + " " + e.description);
}

function version(high, low) {
    return word(high, 1) + "." + word(high, 0) + "." + word(low, 1) + "." + word(low, 0);
}

// The high (1) or low (0) 16-bit word of a signed 32-bit value.
function word(value, which) {
    return which ? (value >>> 16) : (value & 0xFFFF);
}

function hex(value, digits) {
    var text = ((value < 0 ? value + 4294967296 : value) & (digits == 4 ? 0xFFFF : -1));
    text = (text < 0 ? text + 4294967296 : text).toString(16).toUpperCase();
    while (text.length < digits) text = "0" + text;
    return text;
}
