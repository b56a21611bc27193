// Mono's compiler writes the version resource from these assembly attributes; it offers no way
// to add a value of one's own (no "Build Date").
using System.Reflection;
[assembly: AssemblyTitle("Corpus ASCII title")]
[assembly: AssemblyDescription("Mono ASCII comments")]
[assembly: AssemblyCompany("Example Company")]
[assembly: AssemblyProduct("vinspect corpus")]
[assembly: AssemblyCopyright("Copyright (c) 2024 Example")]
[assembly: AssemblyTrademark("Example TM")]
[assembly: AssemblyVersion("1.2.3.4")]
[assembly: AssemblyFileVersion("5.6.7.8")]
[assembly: AssemblyInformationalVersion("5.6-beta")]
public static class Corpus { }
