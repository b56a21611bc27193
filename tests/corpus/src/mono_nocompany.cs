// An empty company and no description, copyright or trademark attributes at all.
using System.Reflection;
[assembly: AssemblyTitle("No company")]
[assembly: AssemblyCompany("")]
[assembly: AssemblyProduct("vinspect corpus")]
[assembly: AssemblyVersion("3.0.0.0")]
[assembly: AssemblyFileVersion("3.0.1.0")]
public static class Corpus { }
