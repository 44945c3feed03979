#include "tests/support/TempFolder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace VTLogAdapter::Testing {

TempFolder::TempFolder() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (;;) {
        const fs::path candidate =
            fs::temp_directory_path() / ("vtlog-test-" + std::to_string(random()));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            path = candidate.string();
            return;
        }
    }
}

TempFolder::~TempFolder() {
    std::error_code error;
    fs::remove_all(path, error);
}

std::string TempFolder::Join(const std::string& relative) const {
    return (fs::path(path) / relative).string();
}

void TempFolder::WriteFile(const std::string& relative, const std::string& content) const {
    const fs::path target = fs::path(path) / relative;
    fs::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary);
    out << content;
}

std::string ReadFile(const std::string& path) {
    // Text mode, the mirror of how log files are written: Windows reads CR LF back as "\n".
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t StoredSize(const std::string& text) {
#if defined(_WIN32)
    return text.size() + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
#else
    return text.size();
#endif
}

std::vector<std::string> ListFiles(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file()) {
            files.push_back(fs::relative(it->path(), folder).generic_string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace VTLogAdapter::Testing
