// Non-ASCII text: Latin-1 letters, the euro sign (in code page 1252, not in Latin-1) and a Greek
// letter (in neither).
using System.Reflection;
[assembly: AssemblyTitle("Grüße aus Köln")]
[assembly: AssemblyDescription("Préférences €5 Ω")]
[assembly: AssemblyCompany("Müller & Söhne")]
[assembly: AssemblyProduct("Straße")]
[assembly: AssemblyCopyright("© 2024 Müller")]
[assembly: AssemblyTrademark("Müller™")]
[assembly: AssemblyVersion("2.0.0.0")]
[assembly: AssemblyFileVersion("2.1.0.17")]
[assembly: AssemblyInformationalVersion("2.1 «Ärger»")]
public static class Corpus { }
