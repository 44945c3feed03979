// One private registry, configuration and log folder for the whole test process. The engine
// reads its configuration once per process, at the first Trace, so every test shares this one
// and keeps apart from the others by log name or by a unique text in its messages.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Runtime.InteropServices;
using System.Text;
using Xunit;

namespace VTLogAdapter.Tests
{
    public sealed class NativeLogFixture : IDisposable
    {
        public NativeLogFixture()
        {
            string nativeFile = Path.Combine(AppContext.BaseDirectory, "libVTLogAdapter.Native.so");
            if (!File.Exists(nativeFile))
            {
                throw new InvalidOperationException(
                    $"{nativeFile} is missing: build with -p:VTLogAdapterNativeDir=<CMake build folder>");
            }

            Root = Path.Combine(Path.GetTempPath(), "vtlognettests" + Guid.NewGuid().ToString("N"));

            string registry = Path.Combine(Root, "registry");
            string install = Path.Combine(Root, "bin");
            LogFolder = Path.Combine(Root, "logs");
            string key = Path.Combine(registry, "HKEY_LOCAL_MACHINE", "SOFTWARE", "Corvessa", "Vantiro");
            Directory.CreateDirectory(key);
            Directory.CreateDirectory(install);
            File.WriteAllText(Path.Combine(key, "ZLM_HOME"), install + "/");
            File.WriteAllText(Path.Combine(install, "LogConfigure.xml"),
                "<LogConfigure enable=\"1\">" +
                "<global processid=\"1\" threadid=\"1\" modulename=\"1\" sourcefileinfo=\"1\"" +
                " sessioninfo=\"1\" excelmode=\"0\">" +
                "<output name=\"file\" enable=\"1\"/><output name=\"outputdebugwindows\" enable=\"0\"/>" +
                "</global>" +
                $"<log filepath=\"{LogFolder}\" loglevel=\"0\" filesizelimit=\"10\" usedefaultfilename=\"1\"/>" +
                "</LogConfigure>");

            // Environment.SetEnvironmentVariable changes only the runtime's own copy on Unix;
            // the native library reads the process environment.
            if (setenv("VTLOGADAPTER_REGISTRY_ROOT", registry, 1) != 0)
            {
                throw new InvalidOperationException("setenv failed");
            }
        }

        public string Root { get; }

        public string LogFolder { get; }

        // Every line of the files named `fileName` in any day folder, oldest folder first.
        public IReadOnlyList<string> ReadLines(string fileName)
        {
            return Files(fileName)
                .SelectMany(file => File.ReadAllText(file, Encoding.UTF8).Split('\n'))
                .Where(line => line.Length > 0)
                .ToList();
        }

        // The files named `fileName`, or numbered after it (name_1.dat...), in any day folder.
        public IReadOnlyList<string> Files(string fileName)
        {
            if (!Directory.Exists(LogFolder)) return Array.Empty<string>();
            string stem = Path.GetFileNameWithoutExtension(fileName);
            return Directory.GetDirectories(LogFolder)
                .OrderBy(day => day, StringComparer.Ordinal)
                .SelectMany(day => Directory.GetFiles(day)
                    .Where(file => Path.GetFileName(file) == fileName ||
                                   Path.GetFileName(file).StartsWith(stem + "_", StringComparison.Ordinal))
                    .OrderBy(file => file, StringComparer.Ordinal))
                .ToList();
        }

        public void Dispose()
        {
            try
            {
                Directory.Delete(Root, recursive: true);
            }
            catch (IOException)
            {
            }
        }

        [DllImport("libc", CharSet = CharSet.Ansi, BestFitMapping = false, ThrowOnUnmappableChar = true)]
        private static extern int setenv(string name, string value, int overwrite);
    }

    [CollectionDefinition(Name)]
    public sealed class NativeLogCollection : ICollectionFixture<NativeLogFixture>
    {
        public const string Name = "native log";
    }
}
