// The browser back end of the platform layer. Takes are read from the File objects
// the user picked, outputs are written to the sinks the worker opened (a file the
// user chose, or one in the page's own storage); both go through the worker's
// `Module.disk`, called by the functions of disk_library.js. Offsets cross into
// JavaScript as doubles, exact to 2^53 bytes, so takes past 2 and 4 GiB read
// where they should.
#include <algorithm>
#include <cerrno>
#include <functional>
#include <map>
#include <new>
#include <set>

#include "platform/kxDiskMgr.h"
#include "platform/WebDisk.h"

// Provided by disk_library.js. Reads and writes return the bytes moved, or a
// negative number: -1 for an unreadable or failed transfer, -2 when the browser's
// storage quota is used up.
extern "C" {
int32_t proj2wav_disk_read(int32_t file, double offset, uint8_t* destination, uint32_t count);
int32_t proj2wav_disk_write(int32_t sink, double offset, const uint8_t* source, uint32_t count);
double proj2wav_disk_length(int32_t sink);
int32_t proj2wav_disk_truncate(int32_t sink, double length);
}

struct kxDiskFile {
    bool output = false;
    int32_t id = 0;     // the worker's file or sink number
    uint64_t size = 0;  // a picked file's size
    uint64_t position = 0;
};

namespace {

struct Entry {
    bool output = false;
    int32_t id = 0;
    uint64_t size = 0;
};

// Every path the page handed over, in byte order.
std::map<std::string, Entry>& Table() {
    static std::map<std::string, Entry> table;
    return table;
}

// The folders the page saw, also those that hold no file.
std::set<std::string>& Folders() {
    static std::set<std::string> folders;
    return folders;
}

// The folders among them that the page writes outputs into.
std::set<std::string>& OutputFolders() {
    static std::set<std::string> folders;
    return folders;
}

const Entry* Find(const std::string& path) {
    const auto found = Table().find(path);
    return found == Table().end() ? nullptr : &found->second;
}

// A directory is a folder the page saw, or a path that leads to at least one file.
bool IsDirectory(const std::string& path) {
    if (Folders().count(path) != 0) return true;
    const std::string prefix = path + "/";
    const auto next = Table().lower_bound(prefix);
    return next != Table().end() && next->first.compare(0, prefix.size(), prefix) == 0;
}

// No single transfer across the boundary is larger than this.
constexpr uint64_t kMaxTransfer = uint64_t{1} << 24;
// The largest offset a JavaScript number holds exactly.
constexpr uint64_t kMaxOffset = uint64_t{1} << 53;

// Moves n bytes at the handle's position through `transfer` (the worker's read
// or write), in pieces; the position moves by what was moved. A failure leaves
// errno: ENOSPC when the browser's quota is used up, else EIO.
template <class Transfer>
bool TransferFully(kxDiskFile* file, uint64_t n, Transfer transfer) {
    if (n == 0 || file->position > kMaxOffset || n > kMaxOffset - file->position) return false;
    uint64_t done = 0;
    while (done < n) {
        const auto chunk = static_cast<uint32_t>(std::min(n - done, kMaxTransfer));
        const int32_t moved = transfer(done, chunk, static_cast<double>(file->position + done));
        if (moved < 0) errno = moved == -2 ? ENOSPC : EIO;
        if (moved <= 0) break;
        done += static_cast<uint64_t>(moved);
    }
    file->position += done;
    return done == n;
}

}  // namespace

namespace webdisk {

void Clear() {
    Table().clear();
    Folders().clear();
    OutputFolders().clear();
}

void AddFolder(const std::string& path) {
    Folders().insert(path);
}

void AddOutputFolder(const std::string& path) {
    Folders().insert(path);
    OutputFolders().insert(path);
}

void AddInput(const std::string& path, uint64_t size, int32_t id) {
    Table()[path] = Entry{false, id, size};
}

void AddOutput(const std::string& path, int32_t sink) {
    Table()[path] = Entry{true, sink, 0};
}

}  // namespace webdisk

// ---- Files ----

kxDiskFile* kxDiskMgr::FileOpen(const char* path, kxOpenMode mode) {
    if (path == nullptr) return nullptr;
    if (mode == kxOpenMode::Update) {  // picked files are never written
        errno = EACCES;
        return nullptr;
    }
    const Entry* entry = Find(path);
    if (entry == nullptr) {
        errno = IsDirectory(path) ? EISDIR : ENOENT;
        return nullptr;
    }
    // Picked files are only ever read, outputs only ever written.
    const bool writing = mode != kxOpenMode::Read;
    if (writing != entry->output) {
        errno = EACCES;
        return nullptr;
    }
    if (writing && proj2wav_disk_truncate(entry->id, 0) != 0) {
        errno = EIO;
        return nullptr;
    }
    auto* file = new (std::nothrow) kxDiskFile{entry->output, entry->id, entry->size, 0};
    if (file == nullptr) errno = ENOMEM;
    return file;
}

bool kxDiskMgr::FileRead(kxDiskFile* file, void* buffer, uint64_t n) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    return file != nullptr && !file->output && bytes != nullptr &&
           TransferFully(file, n, [&](uint64_t done, uint32_t chunk, double at) {
               return proj2wav_disk_read(file->id, at, bytes + done, chunk);
           });
}

bool kxDiskMgr::FileWrite(kxDiskFile* file, const void* buffer, uint64_t n) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    return file != nullptr && file->output && bytes != nullptr &&
           TransferFully(file, n, [&](uint64_t done, uint32_t chunk, double at) {
               return proj2wav_disk_write(file->id, at, bytes + done, chunk);
           });
}

bool kxDiskMgr::FileClose(kxDiskFile* file) {
    // The worker closes its sinks itself once the run has ended.
    if (file == nullptr) return false;
    delete file;
    return true;
}

int64_t kxDiskMgr::FileTell(kxDiskFile* file) {
    return file == nullptr ? -1 : static_cast<int64_t>(file->position);
}

bool kxDiskMgr::FileSeek(kxDiskFile* file, uint64_t position) {
    if (file == nullptr || position > kMaxOffset) return false;
    file->position = position;
    return true;
}

void kxDiskMgr::WillReadInOrder(kxDiskFile*, uint64_t, uint64_t) {
    // The worker reads ahead of the engine on its own.
}

bool kxDiskMgr::Flush(kxDiskFile* file) {
    // Writes reach the sink at once; the worker hands them on between blocks.
    return file != nullptr;
}

bool kxDiskMgr::Sync(kxDiskFile* file) {
    // The sinks hand every write on as it comes; the browser keeps the file.
    return file != nullptr;
}

int64_t kxDiskMgr::FileLength(kxDiskFile* file) {
    if (file == nullptr) return -1;
    if (!file->output) return static_cast<int64_t>(file->size);
    const double length = proj2wav_disk_length(file->id);
    return length < 0 ? -1 : static_cast<int64_t>(length);
}

bool kxDiskMgr::Truncate(kxDiskFile* file, uint64_t length) {
    return file != nullptr && file->output && length <= kMaxOffset &&
           proj2wav_disk_truncate(file->id, static_cast<double>(length)) == 0;
}

// ---- Paths and directories ----

bool kxDiskMgr::ListDirectory(const std::string& directory, std::vector<std::string>& names) {
    names.clear();
    if (!IsDirectory(directory)) {
        errno = Find(directory) != nullptr ? ENOTDIR : ENOENT;
        return false;
    }
    // Files directly in it, and the directories that lead on to deeper files.
    const std::string prefix = directory + "/";
    for (auto it = Table().lower_bound(prefix);
         it != Table().end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        const std::string rest = it->first.substr(prefix.size());
        const std::string name = rest.substr(0, rest.find('/'));
        if (names.empty() || names.back() != name) names.push_back(name);
    }
    // "a b" sorts before "a/..." in the table but after "a" here: sort by name.
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return true;
}

kxFileInfo kxDiskMgr::Identify(const std::string& path, bool /*followLinks*/) {
    kxFileInfo found;
    if (const Entry* entry = Find(path)) {
        found.exists = true;
        found.regular = true;
        found.device = entry->output ? 2 : 1;
        found.inode = static_cast<uint64_t>(entry->id);
        // An output is as long as what its sink has taken.
        const double length = entry->output ? proj2wav_disk_length(entry->id) : 0;
        found.size = entry->output ? static_cast<uint64_t>(std::max(length, 0.0)) : entry->size;
    } else if (IsDirectory(path)) {
        // A folder is known by its path: two folders are the same only when their
        // paths are (the checks that keep outputs out of "Audio Files" compare them).
        found.exists = true;
        found.directory = true;
        found.device = 3;
        found.inode = std::hash<std::string>{}(path);
    } else {
        errno = ENOENT;
    }
    return found;
}

bool kxDiskMgr::ReadLink(const std::string& /*path*/, std::string& /*target*/) {
    errno = EINVAL;  // the page hands over no links
    return false;
}

bool kxDiskMgr::CanonicalPath(const std::string& path, std::string& canonical) {
    if (!Identify(path).exists) return false;
    canonical = path;
    return true;
}

bool kxDiskMgr::IsWritable(const std::string& path) {
    const Entry* entry = Find(path);
    return (entry != nullptr && entry->output) || OutputFolders().count(path) != 0;
}

bool kxDiskMgr::RemoveFile(const std::string& /*path*/) {
    errno = EACCES;  // nothing the page handed over is ever removed from here
    return false;
}

bool kxDiskMgr::MakeDirectory(const std::string& /*path*/) {
    errno = EACCES;  // the page writes only the files the browser hands over
    return false;
}

bool kxDiskMgr::RemoveDirectory(const std::string& /*path*/) {
    errno = EACCES;
    return false;
}

int64_t kxDiskMgr::FreeSpace(const std::string& /*directory*/) {
    // Unknown here: the page asks the browser for its storage quota instead.
    return -1;
}

// ---- Stop signals: the browser sends none; Cancel reaches the run as a message ----

kxStopSignals::kxStopSignals() = default;
kxStopSignals::~kxStopSignals() = default;

void kxStopSignals::Connect(std::atomic<bool>& /*flag*/) {}

bool kxStopSignals::Signalled() const {
    return false;
}
