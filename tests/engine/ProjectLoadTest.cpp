// Loading a project directory: which entries become takes, the project's rate and
// fade length, and the times the status line shows. (Sizes are tested at the
// timeline's end in every width and layout through the command line's report.)
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <map>

#include "engine/EDLWriter.h"
#include "support/ProjectDir.h"

using namespace testsupport;

namespace {

int EventCount(const EDLWriter& writer) {
    int n = 0;
    for (AudioEvent* e = writer.edl ? writer.edl->firstEvent : nullptr; e; e = e->next) ++n;
    return n;
}

}  // namespace

TEST(ProjectLoad, EntriesThatAreNoTakesAreRefusedWithoutBlocking) {
    EDLWriter writer;
    writer.Init();
    TempDir empty;
    EXPECT_EQ(writer.LoadProject(empty.Path().c_str()), 0);  // no "Audio Files" at all
    EXPECT_EQ(writer.edl, nullptr);

    ProjectDir p;
    const std::string audio = p.AudioDir() + "/";
    TempDir elsewhere;
    WriteTake(elsewhere / "real.wav", NthTake(0, 100, 1));
    WriteTake(audio + "\xFF\xFE take.wav", NthTake(200, 100, 2));  // not UTF-8
    WriteFileBytes(audio + "notes.txt", {'h', 'i'});
    WriteFileBytes(audio + "five.wav", {'R', 'I', 'F', 'F', 0});
    WriteFileBytes(audio + "ten.wav", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A'});
    std::filesystem::create_directory(audio + "Fades.wav");
    ASSERT_EQ(::mkfifo((audio + "pipe.wav").c_str(), 0600), 0);  // opened, it would block
    ASSERT_EQ(::mkfifo((elsewhere / "fifo").c_str(), 0600), 0);
    std::filesystem::create_symlink(elsewhere / "real.wav", audio + "link to take.wav");
    std::filesystem::create_symlink(elsewhere / "gone.wav", audio + "dangling.wav");
    std::filesystem::create_symlink(elsewhere / "fifo", audio + "link to fifo.wav");
    WriteFileBytes(audio + "locked.wav", std::vector<uint8_t>(64, 0));
    std::filesystem::permissions(audio + "locked.wav", std::filesystem::perms::none);
    const bool root = ::geteuid() == 0;  // root reads it all the same

    ::alarm(30);
    ASSERT_EQ(writer.LoadProject(p.Path().c_str()), 1);
    ::alarm(0);
    std::map<std::string, TakeProblem> found;
    for (const auto& e : writer.entries) found[e.name] = e.problem;
    const std::map<std::string, TakeProblem> expected = {
        {"\xFF\xFE take.wav", TakeProblem::None},
        {"link to take.wav", TakeProblem::None},
        {"notes.txt", TakeProblem::NotWave},
        {"five.wav", TakeProblem::NotWave},
        {"ten.wav", TakeProblem::NotWave},
        {"Fades.wav", TakeProblem::CannotOpen},
        {"pipe.wav", TakeProblem::CannotOpen},
        {"dangling.wav", TakeProblem::CannotOpen},
        {"link to fifo.wav", TakeProblem::CannotOpen},
        {"locked.wav", root ? TakeProblem::NotWave : TakeProblem::CannotOpen},
    };
    EXPECT_EQ(found, expected);
    EXPECT_EQ(EventCount(writer), 2);
}

TEST(ProjectLoad, ALoadReplacesAllOfTheProjectBefore) {
    ProjectDir first, mixed, second;
    first.Add("a.wav", NthTake(0, 1000, 1));
    first.Add("b.wav", NthTake(5000, 1000, 2));
    mixed.Add("b.wav", NthTake(0, 100, 2, 2, 24, 44100));
    mixed.Add("c.wav", NthTake(200, 100, 1));  // older, but listed later
    second.Add("x.wav", NthTake(100, 300, 1, 2, 24, 96000));
    EDLWriter writer;
    writer.Init();
    ASSERT_EQ(writer.LoadProject(first.Path().c_str()), 1);
    EXPECT_EQ(EventCount(writer), 2);
    // Mixed rates: the project is loaded all the same, but the load fails.
    EXPECT_EQ(writer.LoadProject(mixed.Path().c_str()), 0);
    EXPECT_TRUE(writer.ratesDiffer);
    EXPECT_EQ(writer.sampleRate, 44100u);  // the first valid file in listing order
    EXPECT_EQ(EventCount(writer), 2);
    ASSERT_EQ(writer.LoadProject(second.Path().c_str()), 1);
    EXPECT_FALSE(writer.ratesDiffer);
    EXPECT_EQ(EventCount(writer), 1);
    EXPECT_EQ(writer.projectFiles.GetCount(), 1);
    EXPECT_EQ(writer.sampleRate, 96000u);
    // A failed load leaves no project at all, not the previous one.
    EXPECT_EQ(writer.LoadProject((second.Path() + "/missing").c_str()), 0);
    EXPECT_EQ(writer.edl, nullptr);
    EXPECT_EQ(writer.projectFiles.GetCount(), 0);
    int64_t bytes = 7;
    EXPECT_EQ(writer.ProjectSize(bytes), 0);
    EXPECT_EQ(bytes, 0);
}

TEST(ProjectLoad, FadeStepFollowsTheRate) {
    const std::pair<uint32_t, int8_t> cases[] = {{44100, 16}, {87999, 16}, {88000, 8}, {96000, 8},
                                                 {175999, 8}, {176000, 4}, {192000, 4}};
    for (const auto& [rate, step] : cases) {
        ProjectDir dir;
        dir.Add("a.wav", NthTake(0, 10, 0, 2, 24, rate));
        EDLWriter writer;
        writer.Init();
        ASSERT_EQ(writer.LoadProject(dir.Path().c_str()), 1) << rate;
        EXPECT_EQ(writer.fadeStep, step) << rate;
    }
}

TEST(ProjectLoad, TimesAreExactFarIntoTheTimeline) {
    const struct {
        uint32_t rate;
        uint64_t sample;
        std::array<int64_t, 4> time;  // hours, minutes, seconds, hundredths
    } cases[] = {
        {44100, 0, {0, 0, 0, 0}},
        {44100, 2694510, {0, 1, 1, 10}},
        {48000, 1024800, {0, 0, 21, 35}},
        {48000, 2419224000ull, {14, 0, 0, 50}},  // beyond 2^31 samples
        {48000, 48000ull * 3600 * 20 + 48000 * 61 + 47999, {20, 1, 1, 99}},
        {48000, 48000ull * 3600 * 128, {128, 0, 0, 0}},  // past what 8 bits hold
        {48000, kTimelineFrames, {6362, 54, 52, 24}},
        {1, UINT64_MAX, {5124095576030431, 0, 15, 0}},
    };
    EDLWriter writer;
    writer.Init();
    for (const auto& c : cases) {
        writer.sampleRate = c.rate;
        timeParts t;
        writer.GetTime(c.sample, t);
        EXPECT_EQ((std::array<int64_t, 4>{t.hours, t.minutes, t.seconds, t.hundredths}), c.time)
            << c.sample << " at " << c.rate;
    }
}

TEST(ProjectLoad, NamesAreBytesAndTiesFollowByteOrder) {
    // A non-ASCII project name, and two takes of equal origination time over the
    // same span: the one later in byte order is added later and wins.
    ProjectDir project(
        "Konzert \xC3\x9C"
        "ber");
    TakeRecipe recipe = NthTake(0, 500, 5);
    project.Add("a take.wav", recipe);
    recipe.seed = 99;
    recipe.identity = 99;
    project.Add("B take.wav", recipe);
    project.Add("\xC3\xA9t\xC3\xA9.txt", recipe);  // "été.txt", valid too

    std::setlocale(LC_ALL, "");  // whatever the environment says must not matter
    EDLWriter writer;
    writer.Init();
    ASSERT_EQ(writer.LoadProject(project.Path().c_str()), 1);
    std::setlocale(LC_ALL, "C");
    ASSERT_EQ(writer.entries.size(), 3u);
    EXPECT_EQ(writer.entries[0].name, "B take.wav");
    EXPECT_EQ(writer.entries[1].name, "a take.wav");
    EXPECT_EQ(writer.entries[2].name, "\xC3\xA9t\xC3\xA9.txt");
    ASSERT_EQ(EventCount(writer), 1);
    EXPECT_EQ(writer.edl->firstEvent->file->Path(), project.AudioDir() + "/\xC3\xA9t\xC3\xA9.txt");
}
