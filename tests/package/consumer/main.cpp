// Sets up a private registry and configuration, logs through the installed library and checks
// that the lines arrived. Exit code 0 on success.
#include <VTLogAdapter/VTLogAdapter.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

extern "C" void TraceFromC(void);

namespace fs = std::filesystem;

namespace {

void WriteText(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// The text of `name` in whichever day folder the engine created; empty if there is none.
std::string ReadLog(const fs::path& logs, const std::string& name) {
    std::error_code error;
    for (const fs::directory_entry& day : fs::directory_iterator(logs, error)) {
        std::ifstream in(day.path() / name, std::ios::binary);
        if (!in) continue;
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    return {};
}

bool Expect(const std::string& text, const std::string& part, const char* file) {
    if (text.find(part) != std::string::npos) return true;
    std::cerr << file << " lacks " << part << "\n--- it holds:\n" << text << "---\n";
    return false;
}

}  // namespace

int main() {
    char pattern[] = "/tmp/vtlogconsumerXXXXXX";
    if (mkdtemp(pattern) == nullptr) return 2;
    const fs::path root = pattern;
    WriteText(root / "registry/HKEY_LOCAL_MACHINE/SOFTWARE/Corvessa/Vantiro/ZLM_HOME",
              (root / "bin").string() + "/");
    WriteText(root / "bin/LogConfigure.xml",
              "<LogConfigure enable=\"1\"><global processid=\"1\" threadid=\"1\" modulename=\"1\""
              " sourcefileinfo=\"1\" sessioninfo=\"1\" excelmode=\"0\"><output name=\"file\""
              " enable=\"1\"/><output name=\"outputdebugwindows\" enable=\"0\"/></global>"
              "<log filepath=\"" + (root / "logs").string() +
              "\" loglevel=\"0\" filesizelimit=\"10\" usedefaultfilename=\"1\"/></LogConfigure>");
    // Read by the first Trace of the process, so it must be in place before that.
    setenv("VTLOGADAPTER_REGISTRY_ROOT", (root / "registry").c_str(), 1);

    VTLogAdapter::VTLogNet log(u"Consumer");
    log.Trace(u"hello from C++");
    log.Dispose();
    TraceFromC();

    const std::string fromCpp = ReadLog(root / "logs", "Consumer.dat");
    const std::string fromC = ReadLog(root / "logs", "ConsumerApi.dat");
    const bool ok = Expect(fromCpp, "\"hello from C++\"", "Consumer.dat") &&
                    Expect(fromCpp, "VTLogAdapter.cpp(46)::VTLogAdapter::VTLogNet::Trace",
                           "Consumer.dat") &&
                    Expect(fromC, "\"hello from C\"", "ConsumerApi.dat") &&
                    Expect(fromC, "VTLogAdapter.cpp(60)::", "ConsumerApi.dat") &&
                    Expect(fromC, "\"and by name\"", "ConsumerApi.dat");
    fs::remove_all(root);
    if (ok) std::cout << "consumer: every record written\n";
    return ok ? 0 : 1;
}
