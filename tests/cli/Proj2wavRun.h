// proj2wav run as the real program in a child process, for the command line's
// tests: its exit code and what it printed.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

extern char** environ;

namespace testsupport {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

inline std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Starts `argv` with stdout and stderr going to the files `out` and `err`, or
// stderr onto the descriptor `errFd` when there is one; returns the child's pid.
inline pid_t Start(const std::vector<std::string>& argv, const std::string& out,
                   const std::string& err, int errFd = -1) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (errFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

// The child's exit code; -1 when it did not exit by itself (a signal killed it).
inline int Wait(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// proj2wav with `args`, run by the shell `script` (the program is $0, the
// arguments follow).
inline std::vector<std::string> Command(const std::vector<std::string>& args,
                                        const std::string& script = "exec \"$0\" \"$@\"") {
    std::vector<std::string> argv = {"/bin/sh", "-c", script, PROJ2WAV_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

// Once `output` holds more than `bytes` (samples behind the header, at first),
// freezes the run `pid`, sends it `signal` and lets it go on: the stop cannot lose
// a race with the end of the run. Its exit code; -1 when the signal killed it.
inline int StopOnceWriting(pid_t pid, const std::string& output, int signal,
                           uint64_t bytes = 1024) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    struct stat info {};
    while ((::stat(output.c_str(), &info) != 0 || static_cast<uint64_t>(info.st_size) <= bytes) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    ::kill(pid, SIGSTOP);
    ::kill(pid, signal);
    ::kill(pid, SIGCONT);
    return Wait(pid);
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// What `soxi FLAG` says of a file, without the line end.
inline std::string Soxi(const std::string& flag, const std::string& path) {
    std::string out = RunCommand("soxi " + flag + " '" + path + "' 2>/dev/null");
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

inline Result Proj2wav(const std::vector<std::string>& args,
                       const std::string& script = "exec \"$0\" \"$@\"") {
    TempDir capture;
    const pid_t pid = Start(Command(args, script), capture / "out", capture / "err");
    return {pid > 0 ? Wait(pid) : -1, ReadText(capture / "out"), ReadText(capture / "err")};
}

}  // namespace testsupport
