// A fresh folder per test, removed with everything in it when the test ends, so tests can run
// in parallel without sharing files.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace VTLogAdapter::Testing {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder's path, without a trailing separator.
    const std::string& Path() const { return path; }
    // Path() + separator + relative.
    std::string Join(const std::string& relative) const;
    // Writes `content` to the file `relative`, creating its folders.
    void WriteFile(const std::string& relative, const std::string& content) const;

private:
    std::string path;
};

// Whole content of a file read as text (on Windows CR LF comes back as "\n"); empty when it
// cannot be read.
std::string ReadFile(const std::string& path);
// Bytes `text` takes in a log file on disk: Windows stores every "\n" as CR LF.
std::size_t StoredSize(const std::string& text);
// Regular files below `folder`, as paths relative to it, sorted.
std::vector<std::string> ListFiles(const std::string& folder);
// Splits text into lines at '\n' (the '\n' kept off; a trailing partial line kept).
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace VTLogAdapter::Testing
