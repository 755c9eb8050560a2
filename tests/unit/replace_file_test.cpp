// Whole files replaced in one step: what stands at a name is never opened or
// followed, the old content survives every failure, permission bits stay.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "support/test_support.h"

namespace pixlane {
namespace {

using test::names_in;
using test::read_file;
using test::TempDir;
using test::write_file;

// What lstat finds at `path`: its type bits, 0 when nothing is there.
mode_t kind_at(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

mode_t permissions_of(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

// Sets the umask for as long as it lives.
struct Umask {
    explicit Umask(mode_t mask) : m_old(::umask(mask)) {}
    ~Umask() { ::umask(m_old); }
    Umask(const Umask&) = delete;
    Umask& operator=(const Umask&) = delete;
    mode_t m_old;
};

// A link or a pipe planted at the target or at the fixed temporary name
// "PATH.tmp" of old: the replacement neither writes through the link nor
// waits on the pipe, and the target ends as a plain file of the new bytes.
TEST(ReplaceFileTest, WhatIsPlantedAtANameIsNeitherFollowedNorOpened) {
    struct Case {
        const char* what;
        const char* planted; // the name it stands at
        bool pipe;           // a FIFO; otherwise a link to victim.txt
        const char* names;   // the folder afterwards
    };
    const Case cases[] = {
        {"link at the temporary name", "run.csv.tmp", false, "run.csv run.csv.tmp victim.txt "},
        {"pipe at the temporary name", "run.csv.tmp", true, "run.csv run.csv.tmp victim.txt "},
        {"link at the target", "run.csv", false, "run.csv victim.txt "},
        {"pipe at the target", "run.csv", true, "run.csv victim.txt "},
    };
    for (const auto& c : cases) {
        TempDir dir;
        write_file(dir / "victim.txt", "victim");
        const std::string target = dir / "run.csv";
        const std::string planted = dir / c.planted;
        bool replaced = false;
        const auto replace = [&] { replaced = platform::replace_file(target, "new"); };
        if (c.pipe) {
            EXPECT_TRUE(test::returns_promptly_on_fifo(planted, replace)) << c.what;
        } else {
            ASSERT_EQ(::symlink((dir / "victim.txt").c_str(), planted.c_str()), 0);
            replace();
        }
        EXPECT_TRUE(replaced) << c.what;
        EXPECT_EQ(kind_at(target), S_IFREG) << c.what;
        EXPECT_EQ(read_file(target), "new") << c.what;
        EXPECT_EQ(read_file(dir / "victim.txt"), "victim") << c.what;
        if (planted != target) {
            EXPECT_EQ(kind_at(planted), c.pipe ? S_IFIFO : S_IFLNK) << c.what;
        }
        EXPECT_EQ(names_in(dir.path()), c.names) << c.what;
    }
}

TEST(ReplaceFileTest, PermissionBitsOfTheReplacedFileAreKept) {
    const Umask mask(022);
    struct Case {
        mode_t before; // 0: no file yet
        mode_t after;
    };
    const Case cases[] = {
        {0600, 0600}, {0640, 0640}, {0666, 0666},
        {0755, 0755}, {0, 0644}, // a new file: 0666 less the umask
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string target = dir / "config.ini";
        if (c.before != 0) {
            write_file(target, "old");
            ASSERT_EQ(::chmod(target.c_str(), c.before), 0);
        }
        ASSERT_TRUE(platform::replace_file(target, "new"));
        EXPECT_EQ(permissions_of(target), c.after) << std::oct << c.before;
    }
}

TEST(ReplaceFileTest, AFailedReplacementLeavesTheOldFileAndNoTemporary) {
    struct Case {
        const char* what;
        std::string target; // in the folder
        std::int64_t room;  // bytes that may be written; negative: no limit
        int error;
    };
    const std::string content(std::size_t{1} << 17, 'n'); // past the write buffer
    const Case cases[] = {
        {"a full disk", "list.txt", 0, ENOSPC},
        {"a disk full halfway", "list.txt", static_cast<std::int64_t>(content.size() / 2), ENOSPC},
        {"a folder at the target", "folder", -1, EISDIR},
        {"no folder to hold it", "missing/list.txt", -1, ENOENT},
    };
    for (const auto& c : cases) {
        TempDir dir;
        write_file(dir / "list.txt", "old");
        ASSERT_TRUE(platform::make_folder(dir / "folder"));
        bool replaced = true;
        int error = 0;
        {
            const test::WriteLimit limit(c.room);
            replaced = platform::replace_file(dir / c.target, content);
            error = errno;
        }
        EXPECT_FALSE(replaced) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        EXPECT_EQ(read_file(dir / "list.txt"), "old") << c.what;
        EXPECT_TRUE(platform::is_folder(dir / "folder")) << c.what;
        EXPECT_EQ(names_in(dir.path()), "folder list.txt ") << c.what;
    }
}

// The old content stays until commit(); replacements under way side by
// side never share a temporary file; one given up leaves nothing behind.
TEST(ReplaceFileTest, TheTargetChangesOnlyAtTheCommit) {
    TempDir dir;
    const std::string target = dir / "list.txt";
    write_file(target, "old");
    {
        platform::FileReplacement first;
        platform::FileReplacement second;
        ASSERT_TRUE(first.begin(target));
        ASSERT_TRUE(second.begin(target));
        EXPECT_NE(first.temporary_path(), second.temporary_path());
        EXPECT_EQ(platform::folder_of(first.temporary_path()), dir.path());
        ASSERT_TRUE(first.write("new"));
        EXPECT_EQ(read_file(target), "old");
        ASSERT_TRUE(first.commit());
        EXPECT_EQ(read_file(target), "new");
        ASSERT_TRUE(second.write("given up"));
    }
    EXPECT_EQ(read_file(target), "new");
    EXPECT_EQ(names_in(dir.path()), "list.txt ");
}

} // namespace
} // namespace pixlane
