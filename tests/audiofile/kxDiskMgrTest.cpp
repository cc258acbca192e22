// The platform layer on real files, links, directories and signals.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>

#include "audiofile/kxDiskMgr.h"
#include "support/TempDir.h"

using testsupport::TempDir;
namespace fs = std::filesystem;

TEST(kxDiskMgr, TransfersAreExactAndOffsetsAre64Bit) {
    TempDir dir;
    kxDiskFile* file = kxDiskMgr::FileOpen((dir / "f").c_str(), kxOpenMode::CreateReadBack);
    ASSERT_NE(file, nullptr);
    char buffer[4] = {1, 2, 3, 4};
    EXPECT_FALSE(kxDiskMgr::FileWrite(file, buffer, 0));
    // Past 4 GiB in a sparse file: the offset must survive every layer.
    const uint64_t far = (uint64_t{1} << 32) + 5;
    ASSERT_TRUE(kxDiskMgr::FileSeek(file, far));
    ASSERT_TRUE(kxDiskMgr::FileWrite(file, buffer, 4));
    EXPECT_EQ(kxDiskMgr::FileTell(file), static_cast<int64_t>(far + 4));
    EXPECT_EQ(kxDiskMgr::FileLength(file), static_cast<int64_t>(far + 4));
    char back[4] = {};
    ASSERT_TRUE(kxDiskMgr::FileSeek(file, far));
    ASSERT_TRUE(kxDiskMgr::FileRead(file, back, 4));
    EXPECT_EQ(std::string(back, 4), std::string(buffer, 4));
    EXPECT_FALSE(kxDiskMgr::FileRead(file, back, 0));
    ASSERT_TRUE(kxDiskMgr::FileSeek(file, far + 2));
    EXPECT_FALSE(kxDiskMgr::FileRead(file, back, 3)) << "a short read is a failure";
    EXPECT_FALSE(kxDiskMgr::FileSeek(file, uint64_t{1} << 63));
    ASSERT_TRUE(kxDiskMgr::Truncate(file, 3));
    EXPECT_EQ(kxDiskMgr::FileLength(file), 3);
    EXPECT_TRUE(kxDiskMgr::FileClose(file));

    EXPECT_EQ(kxDiskMgr::FileOpen(dir.Path().c_str(), kxOpenMode::Read), nullptr);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(kxDiskMgr::FileOpen((dir / "missing").c_str(), kxOpenMode::Read), nullptr);
    EXPECT_EQ(errno, ENOENT) << "the reason is kept for messages";
}

TEST(kxDiskMgr, PathsIdentityAndVolumes) {
    TempDir dir;
    fs::create_directories(dir / "sub");
    testsupport::WriteFileBytes(dir / "sub/take.wav", {1, 2, 3});
    testsupport::WriteFileBytes(dir / "other.wav", {1, 2, 3});
    fs::create_symlink(dir / "sub", dir / "linked");
    fs::create_hard_link(dir / "sub/take.wav", dir / "hard.wav");

    const kxFileInfo take = kxDiskMgr::Identify(dir / "sub/take.wav");
    ASSERT_TRUE(take.exists);
    EXPECT_TRUE(take.regular);
    EXPECT_EQ(take.size, 3u);
    for (const char* spelling :
         {"sub/./take.wav", "sub/../sub/take.wav", "linked/take.wav", "hard.wav"}) {
        EXPECT_TRUE(take.SameFile(kxDiskMgr::Identify(dir / spelling))) << spelling;
    }
    EXPECT_FALSE(take.SameFile(kxDiskMgr::Identify(dir / "other.wav")));
    EXPECT_FALSE(take.SameFile(kxDiskMgr::Identify(dir / "missing.wav")));
    EXPECT_TRUE(kxDiskMgr::Identify(dir / "linked").directory);
    const kxFileInfo link = kxDiskMgr::Identify(dir / "linked", false);
    EXPECT_TRUE(link.link && !link.directory);
    std::string target;
    ASSERT_TRUE(kxDiskMgr::ReadLink(dir / "linked", target));
    EXPECT_EQ(target, dir / "sub");

    std::string canonical;
    ASSERT_TRUE(kxDiskMgr::CanonicalPath(dir / "linked/../linked/./take.wav", canonical));
    EXPECT_EQ(canonical, fs::canonical(dir.Path()).string() + "/sub/take.wav");
    EXPECT_FALSE(kxDiskMgr::CanonicalPath(dir / "missing/take.wav", canonical));

    std::vector<std::string> names;
    EXPECT_FALSE(kxDiskMgr::ListDirectory(dir / "missing", names));
    EXPECT_EQ(errno, ENOENT) << "the reason is kept for messages";
    EXPECT_GE(kxDiskMgr::FreeSpace(dir.Path().string()), 0);
    EXPECT_EQ(kxDiskMgr::FreeSpace(dir / "missing"), -1);
    EXPECT_TRUE(kxDiskMgr::IsWritable(dir.Path().string()));
    EXPECT_TRUE(kxDiskMgr::RemoveFile(dir / "linked"));
    EXPECT_TRUE(kxDiskMgr::Identify(dir / "sub/take.wav").exists) << "only the link goes";
}

TEST(kxStopSignals, StopRequestsReachTheRunAndHandlersComeBack) {
    std::signal(SIGINT, SIG_IGN);
    std::atomic<bool> stop{false};
    {
        kxStopSignals signals;
        EXPECT_FALSE(signals.Signalled());
        std::raise(SIGXFSZ);  // ignored during a run: the write fails instead
        std::raise(SIGTERM);  // before the run is connected
        EXPECT_TRUE(signals.Signalled());
        signals.Connect(stop);
        EXPECT_TRUE(stop.load());
        stop.store(false);
        std::raise(SIGINT);
        EXPECT_TRUE(stop.load());
    }
    struct sigaction restored {};
    ::sigaction(SIGINT, nullptr, &restored);
    EXPECT_EQ(restored.sa_handler, SIG_IGN);
    std::signal(SIGINT, SIG_DFL);
    EXPECT_FALSE(kxStopSignals().Signalled()) << "a new watcher starts afresh";
}
