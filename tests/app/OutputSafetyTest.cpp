// The guards on output paths: a recording must never be overwritten, under any
// spelling of its path, and the two files of dual mono must be two files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "app/AppDecisions.h"
#include "app/OutputSafety.h"
#include "audiofile/kxDiskMgr.h"
#include "support/ProjectDir.h"

using app::CheckOutputPath;
using app::OutputProblem;
using namespace testsupport;

namespace {

struct ProjectAndOut {
    ProjectDir project;
    TempDir out;
    std::string take;

    ProjectAndOut() {
        project.Add("Take 01.wav", TakeRecipe{});
        take = project.AudioDir() + "/Take 01.wav";
    }
    OutputProblem Check(const std::string& path, const std::string& other = "") const {
        return CheckOutputPath(project.Path(), path, other);
    }
};

}  // namespace

TEST(OutputSafety, ATakeIsRefusedUnderEverySpelling) {
    ProjectAndOut s;
    const std::string dir = s.project.Path();
    EXPECT_EQ(s.Check(s.take), OutputProblem::IsProjectTake);
    EXPECT_EQ(s.Check(dir + "/Audio Files/../Audio Files/./Take 01.wav"),
              OutputProblem::IsProjectTake);
    EXPECT_EQ(s.Check(dir + "//Audio Files//Take 01.wav"), OutputProblem::IsProjectTake);

    const std::string symlink = s.out / "link.wav";
    ASSERT_EQ(::symlink(s.take.c_str(), symlink.c_str()), 0);
    EXPECT_EQ(s.Check(symlink), OutputProblem::IsProjectTake);

    const std::string hardLink = s.out / "hard.wav";
    ASSERT_EQ(::link(s.take.c_str(), hardLink.c_str()), 0);
    EXPECT_EQ(s.Check(hardLink), OutputProblem::IsProjectTake);

    // Relative to the working directory, too.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(s.project.AudioDir());
    EXPECT_EQ(s.Check("Take 01.wav"), OutputProblem::IsProjectTake);
    std::filesystem::current_path(previous);
}

TEST(OutputSafety, NewFilesInsideAudioFilesAreRefused) {
    ProjectAndOut s;
    EXPECT_EQ(s.Check(s.project.AudioDir() + "/Mix.wav"), OutputProblem::InsideAudioFiles);

    const std::string linkedDir = s.out / "shortcut";
    ASSERT_EQ(::symlink(s.project.AudioDir().c_str(), linkedDir.c_str()), 0);
    EXPECT_EQ(s.Check(linkedDir + "/Mix.wav"), OutputProblem::InsideAudioFiles);

    // A link that points at a file not yet there would create it in "Audio Files".
    const std::string dangling = s.out / "dangling.wav";
    const std::string target = s.project.AudioDir() + "/New.wav";
    ASSERT_EQ(::symlink(target.c_str(), dangling.c_str()), 0);
    EXPECT_EQ(s.Check(dangling), OutputProblem::InsideAudioFiles);
}

TEST(OutputSafety, OutputsOutsideTheRecordingsAreAllowed) {
    ProjectAndOut s;
    EXPECT_EQ(s.Check(s.out / "Mix.wav"), OutputProblem::None);
    EXPECT_EQ(s.Check(s.project.Path() + "/Mix.wav"), OutputProblem::None);  // beside "Audio Files"
    WriteFileBytes(s.out / "Old Mix.wav", {1, 2, 3});
    EXPECT_EQ(s.Check(s.out / "Old Mix.wav"), OutputProblem::None);
    EXPECT_EQ(s.Check(s.out / "missing/Mix.wav"), OutputProblem::None);  // creation will fail
    // A copy of a take is a file of its own.
    std::filesystem::copy_file(s.take, s.out / "copy.wav");
    EXPECT_EQ(s.Check(s.out / "copy.wav"), OutputProblem::None);
}

TEST(OutputSafety, LeftAndRightMustBeTwoFiles) {
    ProjectAndOut s;
    const std::string left = s.out / "MixL.wav";
    EXPECT_EQ(s.Check(s.out / "./MixL.wav", left), OutputProblem::SameAsOther);
    EXPECT_EQ(s.Check(s.out / "MixR.wav", left), OutputProblem::None);
    EXPECT_EQ(s.Check(s.out / "mixl.wav", left), OutputProblem::None);  // letter case counts

    WriteFileBytes(left, {0});
    const std::string alias = s.out / "alias.wav";
    ASSERT_EQ(::symlink(left.c_str(), alias.c_str()), 0);
    EXPECT_EQ(s.Check(alias, left), OutputProblem::SameAsOther);
    // A take is refused as such, whatever the other file is.
    EXPECT_EQ(s.Check(s.take, left), OutputProblem::IsProjectTake);
}

TEST(OutputSafety, MessagesNameTheFile) {
    const std::string path = "/x/Audio Files/Take 01.wav";
    for (OutputProblem problem : {OutputProblem::IsProjectTake, OutputProblem::InsideAudioFiles,
                                  OutputProblem::SameAsOther}) {
        const std::string text = app::OutputProblemText(problem, path);
        EXPECT_NE(text.find("\"Take 01.wav\""), std::string::npos) << text;
        EXPECT_EQ(text.back(), '.') << text;
    }
    EXPECT_EQ(app::OutputProblemText(OutputProblem::None, path), "");
    EXPECT_EQ(app::CannotCreateText("/a/Mix.wav", EACCES),
              "Could not create \"Mix.wav\": Permission denied.");
    EXPECT_EQ(app::CannotCreateText("/a/Mix.wav", 0), "Could not create \"Mix.wav\".");
}

TEST(OutputFolders, TheFolderMustExistBeAFolderAndTakeFiles) {
    TempDir out;
    WriteFileBytes(out / "notes.txt", {1});
    std::filesystem::create_directory(out / "locked");
    std::filesystem::permissions(
        out / "locked", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const bool root = ::geteuid() == 0;  // root may write anywhere
    const struct {
        std::string path;
        std::string refusal;
    } cases[] = {
        {out / "Mix.wav", ""},
        {out / "gone/Mix.wav", "The folder \"" + (out / "gone") + "\" does not exist."},
        {out / "notes.txt/Mix.wav", "\"" + (out / "notes.txt") + "\" is not a folder."},
        {out / "notes.txt/sub/Mix.wav",
         "The folder \"" + (out / "notes.txt/sub") + "\" does not exist."},
        {out / "locked/Mix.wav",
         root ? ""
              : "The folder \"" + (out / "locked") + "\" cannot be written: Permission denied."},
    };
    for (const auto& c : cases) EXPECT_EQ(app::FolderRefusal(c.path), c.refusal) << c.path;
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
}
