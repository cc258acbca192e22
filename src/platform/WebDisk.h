// The browser back end of the platform layer (kxDiskMgr.h) keeps a table of what
// the page handed it: the files of the picked project, read through the worker's
// File objects, and the output files, written through the worker's sinks. The
// worker provides both as `Module.disk` (see disk_library.js); the engine sees
// ordinary paths and never an in-memory file system.
//
// Paths are the table's own: the page's relative paths under the picked folder's
// name ("Gig/Audio Files/Take 01.wav"), outputs under a root of the page's
// choosing. Directories are the folders the page saw and the paths that lead to
// files; nothing else is there.
#pragma once

#include <cstdint>
#include <string>

namespace webdisk {

// Forgets every file, folder and output.
void Clear();
// A folder the page saw, which may hold no file (an empty "Audio Files").
void AddFolder(const std::string& path);
// A folder the page writes outputs into (one chosen with a directory picker).
void AddOutputFolder(const std::string& path);
// A picked file: `size` bytes, read through the worker's file number `id`.
void AddInput(const std::string& path, uint64_t size, int32_t id);
// An output file, written through the worker's sink number `sink`. It may be
// created (opened for writing) but never read; a picked file can never be.
void AddOutput(const std::string& path, int32_t sink);

}  // namespace webdisk
