// The guards on output paths, for every front end: a recording must never be
// overwritten, under any spelling of its path; the two files of dual mono must be
// two files; the folder must take the output and its volume have room for it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <limits>

#include "app/AppDecisions.h"
#include "app/OutputSafety.h"
#include "platform/kxDiskMgr.h"
#include "support/ProjectDir.h"

using app::CheckOutputPath;
using app::OutputProblem;
using namespace testsupport;

TEST(OutputSafety, ATakeIsNeverWrittenOverUnderAnySpellingAndLeftAndRightAreTwoFiles) {
    ProjectDir project;
    const std::string audio = project.AudioDir(), take = audio + "/Take 01.wav";
    project.Add("Take 01.wav", TakeRecipe{});
    const std::string left = project / "MixL.wav";
    WriteFileBytes(left, {0});
    WriteFileBytes(project / "Old Mix.wav", {1, 2, 3});
    std::filesystem::copy_file(take, project / "copy.wav");  // a file of its own
    std::filesystem::create_symlink(take, project / "link.wav");
    std::filesystem::create_hard_link(take, project / "hard.wav");
    std::filesystem::create_directory_symlink(audio, project / "shortcut");
    // A link to a file not yet there would create it in "Audio Files".
    std::filesystem::create_symlink(audio + "/New.wav", project / "dangling.wav");
    std::filesystem::create_symlink(left, project / "alias.wav");
    const struct {
        std::string path, other;
        OutputProblem problem;
    } cases[] = {
        {take, "", OutputProblem::IsProjectTake},
        {project.Path() + "/Audio Files/../Audio Files/./Take 01.wav", "",
         OutputProblem::IsProjectTake},
        {project.Path() + "//Audio Files//Take 01.wav", "", OutputProblem::IsProjectTake},
        {project / "link.wav", "", OutputProblem::IsProjectTake},
        {project / "hard.wav", "", OutputProblem::IsProjectTake},
        {take, left, OutputProblem::IsProjectTake},  // whatever the other file is
        {audio + "/Mix.wav", "", OutputProblem::InsideAudioFiles},
        {project / "shortcut/Mix.wav", "", OutputProblem::InsideAudioFiles},
        {project / "dangling.wav", "", OutputProblem::InsideAudioFiles},
        {project / "Mix.wav", "", OutputProblem::None},
        {project.Path() + "/Mix.wav", "", OutputProblem::None},  // beside "Audio Files"
        {project / "Old Mix.wav", "", OutputProblem::None},
        {project / "missing/Mix.wav", "", OutputProblem::None},  // creating it will fail
        {project / "copy.wav", "", OutputProblem::None},
        {project / "./MixL.wav", left, OutputProblem::SameAsOther},
        {project / "alias.wav", left, OutputProblem::SameAsOther},
        {project / "MixR.wav", left, OutputProblem::None},
        {project / "mixl.wav", left, OutputProblem::None},  // letter case counts
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckOutputPath(project.Path(), c.path, c.other), c.problem) << c.path;
    }
    // Relative to the working directory, too.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(audio);
    EXPECT_EQ(CheckOutputPath(project.Path(), "Take 01.wav", ""), OutputProblem::IsProjectTake);
    std::filesystem::current_path(previous);
}

// (The texts of a take and of the same file twice are compared in ConversionFlowTest.)
TEST(OutputSafety, MessagesNameTheFile) {
    const std::string text =
        app::OutputProblemText(OutputProblem::InsideAudioFiles, "/x/Audio Files/Mix.wav");
    EXPECT_NE(text.find("\"Mix.wav\""), std::string::npos) << text;
    EXPECT_EQ(app::CannotCreateText("/a/Mix.wav", 0), "Could not create \"Mix.wav\".");
}

// The refusal of `path`'s folder as a user without special rights sees it. Root
// may write anywhere, so as root the check runs in a child that gives its rights
// up first.
std::string FolderRefusalWithoutPrivileges(const std::string& path) {
    if (::geteuid() != 0) return app::FolderRefusal(path);
    int pipe[2];
    if (::pipe(pipe) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        const std::string refusal = ::setgid(65534) == 0 && ::setuid(65534) == 0
                                        ? app::FolderRefusal(path)
                                        : std::string("rights not given up");
        [[maybe_unused]] const ssize_t n = ::write(pipe[1], refusal.data(), refusal.size());
        ::_exit(0);
    }
    ::close(pipe[1]);
    std::string refusal;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;) refusal.append(buffer, n);
    ::close(pipe[0]);
    ::waitpid(child, nullptr, 0);
    return refusal;
}

TEST(OutputFolders, TheFolderMustExistBeAFolderAndTakeFiles) {
    TempDir out;
    WriteFileBytes(out / "notes.txt", {1});
    namespace fs = std::filesystem;
    // Others may pass through the folder and read "locked", but write nothing there.
    fs::permissions(out.Path(), fs::perms::owner_all | fs::perms::others_read |
                                    fs::perms::others_exec | fs::perms::group_read |
                                    fs::perms::group_exec);
    fs::create_directory(out / "locked");
    fs::permissions(out / "locked", fs::perms::owner_read | fs::perms::owner_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
    const struct {
        std::string path;
        std::string refusal;
    } cases[] = {
        {out / "Mix.wav", ""},
        {out / "gone/Mix.wav", "The folder \"" + (out / "gone") + "\" does not exist."},
        {out / "notes.txt/Mix.wav", "\"" + (out / "notes.txt") + "\" is not a folder."},
        {out / "notes.txt/sub/Mix.wav",
         "The folder \"" + (out / "notes.txt/sub") + "\" does not exist."},
    };
    for (const auto& c : cases) EXPECT_EQ(app::FolderRefusal(c.path), c.refusal) << c.path;
    EXPECT_EQ(FolderRefusalWithoutPrivileges(out / "locked/Mix.wav"),
              "The folder \"" + (out / "locked") + "\" cannot be written: Permission denied.");
}

TEST(OutputFolders, EachVolumeNeedsRoomForAllTheFilesItGets) {
    TempDir out;
    std::filesystem::create_directory(out / "sub");
    const std::string other = "/dev/shm";  // another volume, where there is one
    const bool twoVolumes =
        kxDiskMgr::FreeSpace(other) >= 0 &&
        std::filesystem::status(other).type() == std::filesystem::file_type::directory &&
        ::access(other.c_str(), W_OK) == 0;
    const int64_t bytes = 4000000;  // 2 MB per file of dual mono
    const uint64_t both = app::RoomNeeded(bytes), half = app::RoomNeeded(bytes / 2);
    const struct {
        std::vector<std::string> paths;
        uint64_t free;  // on every volume
        bool refused;
    } cases[] = {
        {{out / "Mix.wav"}, both, true},  // equal is not enough
        {{out / "Mix.wav"}, both + 1, false},
        {{out / "L.wav", out / "sub/R.wav"}, both, true},  // one volume takes both files
        {{out / "L.wav", out / "sub/R.wav"}, both + 1, false},
        {{out / "L.wav", other + "/R.wav"}, half + 1, !twoVolumes},
    };
    for (const auto& c : cases) {
        const std::string refusal = app::RoomRefusal(
            c.paths, bytes, [&](const std::string&) { return static_cast<int64_t>(c.free); });
        EXPECT_EQ(!refusal.empty(), c.refused) << c.paths.back() << ": " << refusal;
    }
    EXPECT_EQ(app::RoomRefusal({out / "L.wav", out / "R.wav"}, bytes,
                               [](const std::string&) { return int64_t{3000000}; }),
              "Insufficient disk space. \"L.wav\" and \"R.wav\" need 5.02 MB, \"" +
                  out.Path().string() + "\" has 3.00 MB free.");
    EXPECT_EQ(app::RoomRefusal({out / "Mix.wav"}, bytes, [](const std::string&) { return -1; }),
              "Insufficient disk space. \"Mix.wav\" needs 5.02 MB, and the free space in \"" +
                  out.Path().string() + "\" is unknown.");
    // The largest size plus the margin does not wrap round to a small number.
    constexpr int64_t kLargest = std::numeric_limits<int64_t>::max();
    EXPECT_NE(
        app::RoomRefusal({out / "Mix.wav"}, kLargest, [](const std::string&) { return kLargest; }),
        "");
}
