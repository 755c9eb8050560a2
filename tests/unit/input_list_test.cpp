#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "pipeline/input_list.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace pixlane {
namespace {

using test::TempDir;
using test::write_file;

TEST(InputListTest, AddOnePathRefusesWhatCannotBeConverted) {
    TempDir dir;
    write_file(dir / "a.gif", "GIF89a");
    write_file(dir / "b.GIF", "GIF89a");
    write_file(dir / "c.tif", "II*");
    write_file(dir / "empty.gif", "");
    platform::make_folder(dir / "folder.gif");
    struct Case {
        std::string path;
        bool added;
    };
    const Case cases[] = {
        {dir / "a.gif", true},       {dir / "a.gif", false},       // listed already
        {dir / "b.GIF", true},       {dir / "c.tif", false},       // extension
        {dir / "empty.gif", false},  {dir / "missing.gif", false}, // size 0 / missing
        {dir / "folder.gif", false},                               // a folder
    };
    InputList list;
    int notified = 0;
    list.on_added = [&](const InputEntry&) { ++notified; };
    for (const auto& c : cases) {
        EXPECT_EQ(list.add(c.path, dir.path()), c.added) << c.path;
    }
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(notified, 2);
    EXPECT_TRUE(list.remove(dir / "a.gif"));
    EXPECT_FALSE(list.contains(dir / "a.gif"));
    EXPECT_TRUE(list.add(dir / "a.gif", ""));
    // The last entries go and may be added again; more
    // than the list holds empties it.
    list.drop_last(1);
    EXPECT_FALSE(list.contains(dir / "a.gif"));
    EXPECT_TRUE(list.contains(dir / "b.GIF"));
    EXPECT_TRUE(list.add(dir / "a.gif", ""));
    list.drop_last(5);
    EXPECT_EQ(list.size(), 0u);
    EXPECT_TRUE(list.add(dir / "b.GIF", ""));
}

TEST(InputListTest, RelativeSubfolderRemovesOnlyTheLeadingBase) {
    struct Case {
        const char* path;
        const char* base;
        const char* expected;
    };
    const Case cases[] = {
        {"/in/a/b/x.gif", "/in/", "a/b/"}, {"/in/x.gif", "/in/", ""},
        {"/other/x.gif", "/in/", ""},      {"/in/a/in/x.gif", "/in/", "a/in/"},
        {"/x/in/a/x.gif", "/in/", ""},     {"", "/in/", ""},
        {"/in/a/x.gif", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(relative_subfolder(c.path, c.base), c.expected) << c.path;
    }
}

TEST(InputListTest, FolderWorkerScansTheTreeInNameOrder) {
    TempDir dir;
    platform::make_folders(dir / "sub/deeper");
    write_file(dir / "x.gif", "GIF");
    write_file(dir / "sub/y.gif", "GIF");
    write_file(dir / "sub/deeper/z.gif", "GIF");
    write_file(dir / "sub/notes.txt", "text");
    InputList list;
    ProgressRecord progress;
    folder_worker(list, dir.path(), progress);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list.entries()[0].path, dir / "sub/deeper/z.gif");
    EXPECT_EQ(list.entries()[0].relative_subfolder, "sub/deeper/");
    EXPECT_EQ(list.entries()[1].relative_subfolder, "sub/");
    EXPECT_EQ(list.entries()[2].path, dir / "x.gif");
    EXPECT_EQ(list.entries()[2].relative_subfolder, "");
    EXPECT_EQ(progress.count, 3);
    EXPECT_EQ(progress.index, 2); // two top-level entries

    ProgressRecord stopped;
    stopped.running = false;
    InputList none;
    folder_worker(none, dir.path(), stopped);
    EXPECT_EQ(none.size(), 0u);
}

// A break question pauses the import between items; a stop given while it is
// asked keeps what was added. (The first entry pauses the record itself.)
TEST(InputListTest, APausedImportWaitsAndAStopKeepsTheEntriesAdded) {
    TempDir dir;
    for (const char* name : {"a.gif", "b.gif", "c.gif"}) {
        write_file(dir / name, "GIF");
    }
    InputList list;
    ProgressRecord progress;
    list.on_added = [&](const InputEntry&) { progress.pause(); };
    std::thread worker([&] { folder_worker(list, dir.path(), progress); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(progress.snapshot().index, 1); // held before the second entry
    progress.request_stop();
    worker.join();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.entries()[0].path, dir / "a.gif");
    EXPECT_EQ(progress.count, 1);
}

TEST(InputListTest, FolderScanEntersEachFolderOnceAndNeverLeavesTheTree) {
    TempDir dir, outside;
    platform::make_folders(dir / "sub");
    write_file(dir / "x.gif", "GIF");
    write_file(dir / "sub/y.gif", "GIF");
    write_file(outside / "w.gif", "GIF");
    // Links back up the tree and into it are followed, each folder entered
    // once; links to folders elsewhere (/proc led to the whole machine) are
    // not; a link to a file outside is an input like any file.
    ASSERT_EQ(::symlink("..", (dir / "sub/up").c_str()), 0);
    ASSERT_EQ(::symlink("sub", (dir / "inner").c_str()), 0);
    ASSERT_EQ(::symlink(outside.path().c_str(), (dir / "linked").c_str()), 0);
    ASSERT_EQ(::symlink("/proc", (dir / "proc").c_str()), 0);
    ASSERT_EQ(::symlink((outside / "w.gif").c_str(), (dir / "file.gif").c_str()), 0);
    InputList list;
    ProgressRecord progress;
    folder_worker(list, dir.path(), progress);
    std::vector<std::string> paths;
    for (const auto& e : list.entries()) {
        paths.push_back(e.path);
    }
    EXPECT_EQ(paths,
              (std::vector<std::string>{dir / "file.gif", dir / "inner/y.gif", dir / "x.gif"}));
    EXPECT_EQ(progress.count, 3);

    // The tree is the folder scanned: from sub/, ".." leads out of it.
    InputList scanned;
    EXPECT_EQ(scan_folder(scanned, dir / "sub/", dir / "sub/"), 1);
    // A list line naming a folder makes that folder the tree.
    write_file(outside / "list.txt", dir / "sub" + "\n");
    InputList listed;
    ProgressRecord list_progress;
    list_worker(listed, outside / "list.txt", dir.path(), list_progress);
    EXPECT_EQ(list_progress.count, 1);
}

TEST(InputListTest, ListWorkerSkipsBlanksAndMissingPathsAndImportsFolders) {
    TempDir dir;
    platform::make_folders(dir / "tree/sub");
    write_file(dir / "tree/a.gif", "GIF");
    write_file(dir / "tree/sub/b.gif", "GIF");
    write_file(dir / "single.gif", "GIF");
    write_file(dir / "list.TXT", "\xEF\xBB\xBF" + dir / "single.gif" + "\r\n\r\n   \r\n" +
                                     dir / "missing.gif" + "\r\n  " + dir / "tree" + "  \n");
    InputList list;
    ProgressRecord progress;
    list_worker(list, dir / "list.TXT", "", progress);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list.entries()[0].path, dir / "single.gif");
    EXPECT_EQ(list.entries()[1].path, dir / "tree/a.gif");
    EXPECT_EQ(list.entries()[2].path, dir / "tree/sub/b.gif");
    EXPECT_EQ(progress.count, 3);
    EXPECT_EQ(progress.index, 2); // lines not skipped

    ProgressRecord none;
    list_worker(list, dir / "no-such-list.txt", "", none);
    EXPECT_EQ(none.count, 0);
}

TEST(InputListTest, ListWorkerSkipsOverlongLinesWithoutHoldingThem) {
    TempDir dir;
    write_file(dir / "a.gif", "GIF");
    write_file(dir / "b.gif", "GIF");
    // A 128 MiB line (sparse: zeros) between two paths; then a path padded
    // to the cap exactly.
    const std::int64_t huge = std::int64_t{128} << 20;
    const std::string head = dir / "a.gif" + "\n/";
    ASSERT_TRUE(test::write_sparse_file(dir / "list.txt", head, huge));
    {
        std::ofstream tail(dir / "list.txt", std::ios::binary | std::ios::app);
        tail << "\n"
             << dir / "b.gif" << std::string(kListMaxLineBytes - (dir / "b.gif").size(), ' ')
             << "\n"
             << dir / "missing.gif";
    }
    struct rusage before {};
    ::getrusage(RUSAGE_SELF, &before);
    InputList list;
    ProgressRecord progress;
    list_worker(list, dir / "list.txt", "", progress);
    struct rusage after {};
    ::getrusage(RUSAGE_SELF, &after);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.entries()[0].path, dir / "a.gif");
    EXPECT_EQ(list.entries()[1].path, dir / "b.gif");
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64L << 10) << "peak grew by KiB"; // KiB
}

TEST(InputListTest, ExportWritesByteOrderMarkAndCrLfLinesInListOrder) {
    TempDir dir;
    for (auto name : {"c.gif", "a.gif", "b.gif"}) {
        write_file(dir / name, "GIF");
    }
    InputList list;
    for (auto name : {"c.gif", "a.gif", "b.gif"}) {
        list.add(dir / name, "");
    }
    ProgressRecord progress;
    export_worker(list, dir / "out.lst", progress);
    EXPECT_EQ(test::read_file(dir / "out.lst"), "\xEF\xBB\xBF" + dir / "c.gif" + "\r\n" +
                                                    dir / "a.gif" + "\r\n" + dir / "b.gif" +
                                                    "\r\n");
    EXPECT_EQ(progress.count, 3);

    // Export then import gives the same list.
    InputList again;
    ProgressRecord p2;
    list_worker(again, dir / "out.lst", "", p2);
    ASSERT_EQ(again.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(again.entries()[i].path, list.entries()[i].path);
    }

    ProgressRecord p3;
    export_worker(list, dir / "not-a-folder.gif/out.lst", p3);
    EXPECT_EQ(p3.count, 0);
}

// The export replaces the list file whole: the old list survives a failed
// export, and a file that shares the list's name through a link is never
// written through it.
TEST(InputListTest, ExportNeverTruncatesTheOldListInPlace) {
    enum class Setup { FullDisk, HardLink, SymbolicLink };
    struct Case {
        const char* what;
        Setup setup;
        bool exported;
    };
    const Case cases[] = {
        {"a full disk", Setup::FullDisk, false},
        {"a hard link to another file", Setup::HardLink, true},
        {"a symbolic link to another file", Setup::SymbolicLink, true},
    };
    for (const auto& c : cases) {
        TempDir dir;
        write_file(dir / "a.gif", "GIF");
        InputList list;
        list.add(dir / "a.gif", "");
        const std::string old_list = "\xEF\xBB\xBF" + dir / "old.gif" + "\r\n";
        write_file(dir / "other.lst", old_list);
        const std::string target = dir / "out.lst";
        if (c.setup == Setup::HardLink) {
            ASSERT_EQ(::link((dir / "other.lst").c_str(), target.c_str()), 0);
        } else if (c.setup == Setup::SymbolicLink) {
            ASSERT_EQ(::symlink((dir / "other.lst").c_str(), target.c_str()), 0);
        } else {
            write_file(target, old_list);
        }
        ProgressRecord progress;
        {
            const test::WriteLimit limit(c.setup == Setup::FullDisk ? 0 : -1);
            export_worker(list, target, progress);
        }
        EXPECT_EQ(progress.count, c.exported ? static_cast<int>(list.size()) : 0) << c.what;
        EXPECT_EQ(test::read_file(target),
                  c.exported ? "\xEF\xBB\xBF" + dir / "a.gif" + "\r\n" : old_list)
            << c.what;
        EXPECT_EQ(test::read_file(dir / "other.lst"), old_list) << c.what;
        EXPECT_EQ(test::names_in(dir.path()), "a.gif other.lst out.lst ") << c.what;
    }
}

} // namespace
} // namespace pixlane
