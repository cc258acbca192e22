// The guards on output paths: a recording must never be overwritten, under any
// spelling of its path, and the two files of dual mono must be two files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "app/OutputSafety.h"
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
