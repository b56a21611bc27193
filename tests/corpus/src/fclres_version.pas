{ Writes a .res file holding one version resource made by fcl-res's TVersionResource:
  fclres_version OUT.res. The texts are UTF-8 byte strings (this file is UTF-8, and no codepage
  directive converts them). }
program fclres_version;
{$mode objfpc}{$H+}
uses cwstring, resource, reswriter, versionresource, versiontypes;

var
  resources: TResources;
  version: TVersionResource;
  table: TVersionStringTable;
  translation: TVerTranslationInfo;
  fileVersion: TFileProductVersion = (7, 1, 0, 3);
  productVersion: TFileProductVersion = (7, 1, 0, 0);
begin
  SetMultiByteConversionCodePage(CP_UTF8);
  resources := TResources.Create;
  version := TVersionResource.Create(nil, nil);
  version.FixedInfo.FileVersion := fileVersion;
  version.FixedInfo.ProductVersion := productVersion;
  version.FixedInfo.FileFlagsMask := $3F;
  version.FixedInfo.FileOS := $40004;
  version.FixedInfo.FileType := 2;
  table := TVersionStringTable.Create('040704B0');
  table.Add('CompanyName', 'Müller & Söhne');
  table.Add('FileDescription', 'Grüße');
  table.Add('FileVersion', '7.1.0.3');
  table.Add('ProductName', 'fcl-res Korpus für Prüfungen');
  table.Add('LegalCopyright', '© 2024 Müller');
  table.Add('Build Date', '1. März 2024');
  version.StringFileInfo.Add(table);
  translation.language := $0407;
  translation.codepage := 1200;
  version.VarFileInfo.Add(translation);
  resources.Add(version);
  resources.WriteToFile(ParamStr(1));
  resources.Free;
end.
