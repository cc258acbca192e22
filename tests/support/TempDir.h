// A temporary directory for one test, removed with everything in it at the end.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Sets the TZ environment variable (any POSIX TZ text, e.g. "IST-5:30") for the
// life of the object, then restores what was there.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone);
    ~ScopedTimeZone();
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> saved_;
};

// The bytes of a file, or `length` of them from `offset` (fewer where it ends).
std::vector<uint8_t> ReadFileBytes(const std::string& path, uint64_t offset = 0,
                                   uint64_t length = UINT64_MAX);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// Runs a shell command and returns what it printed on stdout; `status` gets its exit code.
std::string RunCommand(const std::string& command, int* status = nullptr);
bool HaveTool(const std::string& name);

}  // namespace testsupport
