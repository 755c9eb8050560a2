#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

#include "app/application.h"
#include "app/window_module.h"
#include "base/product.h"
#include "platform/handover.h"
#include "platform/platform.h"
#include "records/records.h"
#include "support/test_support.h"
#include "ui/icons.h"

namespace pixlane {
namespace {

TEST(VersionTest, VersionAndTitleTexts) {
    EXPECT_EQ(version_text(280), "2.8");
    EXPECT_EQ(version_text(283), "2.8.3");
    EXPECT_EQ(version_text(310), "3.1");
    EXPECT_EQ(title_text(), "Pixlane 2.8");
}

// The window module beside the executable (a build tree) wins over the
// installed one; either way the folder may come without its separator.
TEST(WindowModuleTest, BesideTheExecutableElseTheInstalledLibraryFolder) {
    EXPECT_EQ(window_module_path("/opt/b/", [](const std::string&) { return true; }),
              "/opt/b/pixlane-window.so");
    EXPECT_EQ(window_module_path("/usr/bin", [](const std::string&) { return false; }),
              "/usr/bin/../lib/pixlane/pixlane-window.so");
}

TEST(IconMapsTest, SetBIsSetAShiftedBy24) {
    const auto m = make_icon_maps();
    EXPECT_EQ(m.buttons.at("Convert"), 2);
    EXPECT_EQ(m.set_a.size(), 22u);
    EXPECT_EQ(m.set_a.at("New"), 5);
    EXPECT_EQ(m.set_a.at("Email"), 25);
    EXPECT_EQ(m.set_b.at("New"), 29);
    EXPECT_EQ(m.set_b.at("About"), 52);
}

TEST(RecordsTest, NewCountersStartAtOneWithARandomValue) {
    for (int i = 0; i < 200; ++i) {
        const NamingCounters counters = new_naming_counters();
        ASSERT_GE(counters.random_value, 1);
        ASSERT_LE(counters.random_value, 99999);
        ASSERT_EQ(counters.sequence_number, 1);
    }
}

TEST(RecordsTest, ProgressResetKeepsTheLastDuration) {
    ProgressRecord p;
    p.index = 5;
    p.current_input = "a.gif";
    p.count = 3;
    p.running = false;
    p.last_duration = 1500;
    reset_progress_record(p);
    EXPECT_EQ(p.index, 0);
    EXPECT_TRUE(p.current_input.empty());
    EXPECT_EQ(p.count, 0);
    EXPECT_TRUE(p.running);
    EXPECT_EQ(p.last_duration, 1500);
}

TEST(PlatformTest, PathHelpers) {
    using namespace platform;
    EXPECT_EQ(join("/a/b", "c.gif"), "/a/b/c.gif");
    EXPECT_EQ(join("/a/b/", "/c.gif"), "/a/b/c.gif");
    EXPECT_EQ(join("", "c.gif"), "c.gif");
    EXPECT_EQ(with_separator("/a"), "/a/");
    EXPECT_EQ(with_separator(""), "");
    EXPECT_EQ(folder_of("/a/b/c.gif"), "/a/b/");
    EXPECT_EQ(folder_of("c.gif"), "");
    EXPECT_EQ(file_name_of("/a/b/c.gif"), "c.gif");
    EXPECT_TRUE(is_absolute("/x"));
    EXPECT_FALSE(is_absolute("x/y"));
    EXPECT_FALSE(program_folder().empty());
    EXPECT_EQ(program_folder().back(), '/');
}

TEST(PlatformTest, FilesFoldersAndTimes) {
    test::TempDir dir;
    using namespace platform;
    EXPECT_EQ(file_size(dir / "none"), -1);
    EXPECT_EQ(file_size(dir.path()), -1);
    test::write_file(dir / "a.gif", "GIF89a");
    EXPECT_EQ(file_size(dir / "a.gif"), 6);
    EXPECT_TRUE(make_folder(dir / "sub"));
    EXPECT_TRUE(make_folder(dir / "sub")); // already there
    EXPECT_TRUE(is_folder(dir / "sub"));
    EXPECT_TRUE(make_folders(dir / "p/q/r"));
    const auto entries = list_folder(dir.path());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "a.gif");
    EXPECT_FALSE(entries[0].is_folder);
    EXPECT_TRUE(entries[2].is_folder);

    const std::int32_t when = 1'600'000'000;
    ASSERT_TRUE(set_modification_time(dir / "a.gif", when));
    EXPECT_EQ(modification_time(dir / "a.gif"), when);
    EXPECT_FALSE(modification_time(dir / "none").has_value());
    const auto before = elapsed_ms();
    EXPECT_GE(elapsed_ms(), before);
}

TEST(SettingsFolderTest, UsesXdgConfigHomeAndCreatesLevelsOnlyWhenAsked) {
    test::TempDir dir;
    ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    const std::string folder = settings_folder(false);
    EXPECT_EQ(folder, dir.path() + "Tarnwell/pixlane/");
    EXPECT_FALSE(platform::is_folder(folder));
    EXPECT_EQ(settings_folder(true), folder);
    EXPECT_TRUE(platform::is_folder(folder));
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST(InstanceLockTest, SecondProcessFindsTheLockHeld) {
    test::TempDir runtime;
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    auto lock = platform::InstanceLock::acquire(title_text());
    ASSERT_TRUE(lock.has_value());
    EXPECT_EQ(platform::InstanceLock::lock_path(title_text()), runtime.path() + "Pixlane 2.8.lock");
    // A second taker, even in this process, is refused while the lock is held.
    auto why = platform::InstanceLock::Failure::CannotCreate;
    EXPECT_FALSE(platform::InstanceLock::acquire(title_text(), &why).has_value());
    EXPECT_EQ(why, platform::InstanceLock::Failure::Held);

    const std::map<std::string, std::string> env{{"XDG_RUNTIME_DIR", runtime.path()},
                                                 {"XDG_CONFIG_HOME", runtime / "config"}};
    auto windowless = test::run(test::pixlane_exe(), {}, env);
    EXPECT_EQ(windowless.status, kExitInstanceRunning);
    EXPECT_EQ(windowless.out, "");
    EXPECT_EQ(windowless.err, "");
    // A window with arguments that leave it the start says who holds the lock.
    auto second_window = test::run(test::pixlane_exe(), {"--width=5"}, env);
    EXPECT_EQ(second_window.status, kExitInstanceRunning);
    EXPECT_NE(second_window.err.find("Pixlane 2.8"), std::string::npos);
    // Console commands and batches take no lock: two batches run side by
    // side while a window holds it.
    EXPECT_EQ(test::run(test::pixlane_exe(), {"-v"}, env).status, kExitOk);
    const std::string sample =
        test::read_file(std::string(PIXLANE_SOURCE_DIR) + "/examples/still.gif");
    test::write_file(runtime / "a.gif", sample);
    test::write_file(runtime / "b.gif", sample);
    test::RunResult side;
    const auto batch = test::run(
        test::pixlane_exe(), {"-q", "-i", runtime / "a.gif", "-c", "png"}, env, {}, [&](pid_t) {
            side =
                test::run(test::pixlane_exe(), {"-q", "-i", runtime / "b.gif", "-c", "png"}, env);
        });
    EXPECT_EQ(batch.status, kExitOk) << batch.err;
    EXPECT_EQ(side.status, kExitOk) << side.err;
    EXPECT_TRUE(platform::exists(runtime / "a.png"));
    EXPECT_TRUE(platform::exists(runtime / "b.png"));

    // Once it is free the start goes on to the window (here without a display).
    lock.reset();
    EXPECT_EQ(
        test::run(test::pixlane_exe(), {},
                  {{"XDG_RUNTIME_DIR", runtime.path()}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}})
            .status,
        kExitError);
    ::unsetenv("XDG_RUNTIME_DIR");
}

// Paths a later start hands to the window arrive whole, in order, once per
// start; with nobody listening the hand-over fails, and a socket a killed
// window left behind is replaced.
TEST(PathHandoverTest, PathsArriveWholeAndNobodyListeningFails) {
    test::TempDir runtime;
    const std::string path = runtime / "p.socket";
    EXPECT_FALSE(platform::hand_over_paths(path, {"/a.gif"}));
    {
        UniqueFd left(::socket(AF_UNIX, SOCK_STREAM, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        ASSERT_EQ(::bind(left.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    EXPECT_FALSE(platform::hand_over_paths(path, {"/a.gif"}));
    auto inbox = platform::PathInbox::open(path);
    ASSERT_TRUE(inbox.has_value());
    const std::vector<std::vector<std::string>> starts = {
        {"/in/a b.gif", "/in/new\nline.gif", "/in/\xC3\xA9t\xC3\xA9/"}, {}, {"/x.gif"}};
    for (const auto& paths : starts) {
        bool handed = false;
        std::thread later([&] { handed = platform::hand_over_paths(path, paths); });
        std::vector<std::vector<std::string>> taken;
        for (int tick = 0; tick < 300 && taken.empty(); ++tick) {
            taken = inbox->take();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        later.join();
        EXPECT_TRUE(handed);
        EXPECT_EQ(taken, std::vector<std::vector<std::string>>{paths});
    }
}

TEST(InstanceLockTest, ALockFileThatCannotBeCreatedIsNoOtherInstance) {
    // A folder where the lock file should be: no open succeeds, even as root.
    test::TempDir runtime;
    ASSERT_TRUE(platform::make_folder(runtime / "Pixlane 2.8.lock"));
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    auto why = platform::InstanceLock::Failure::Held;
    int error = 0;
    EXPECT_FALSE(platform::InstanceLock::acquire(title_text(), &why, &error).has_value());
    EXPECT_EQ(why, platform::InstanceLock::Failure::CannotCreate);
    EXPECT_EQ(error, EISDIR);
    ::unsetenv("XDG_RUNTIME_DIR");

    const std::map<std::string, std::string> env{{"XDG_RUNTIME_DIR", runtime.path()}};
    EXPECT_EQ(test::run(test::pixlane_exe(), {"-v"}, env).status, kExitOk); // no lock taken
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"--width=5"}}) {
        const auto r = test::run(test::pixlane_exe(), args, env);
        EXPECT_EQ(r.status, kExitError);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("Error: cannot create the lock file " + runtime.path() +
                                  "Pixlane 2.8.lock: ",
                              0),
                  0u)
            << r.err;
        EXPECT_EQ(r.err.find("already running"), std::string::npos) << r.err;
    }
}

TEST(StandardStreamsTest, ClosedStreamsNeverReceiveFilesOfTheProgram) {
    // Started with standard output and error closed, the program would get
    // those numbers for the files it opens, and print into them.
    test::TempDir runtime;
    const std::map<std::string, std::string> env{{"XDG_RUNTIME_DIR", runtime.path()}};
    for (const char* args : {"-v", "-i /missing.gif"}) {
        const auto r = test::run(
            "/bin/sh",
            {"-c", std::string("exec \"$0\" ") + args + " >&- 2>&-", test::pixlane_exe()}, env);
        EXPECT_NE(r.status, -1) << args;
        EXPECT_EQ(test::read_file(runtime / "Pixlane 2.8.lock"), "") << args;
    }
}

} // namespace
} // namespace pixlane

namespace pixlane {
namespace {

// A window mode without a window: a desktop of 1920 x 1080 and a run that
// changes what the user would change.
WindowMode fake_window(std::function<void(Settings&)> user, bool* stopped) {
    WindowMode w;
    w.start = [] { return std::optional<DesktopSize>(DesktopSize{1920, 1080}); };
    w.run = [user](Session& app) {
        user(app.settings);
        return static_cast<int>(kExitOk);
    };
    w.stop = [stopped] { *stopped = true; };
    return w;
}

TEST(WindowModeTest, SettingsPersistThroughConfigIniAndTheConsoleNeverTouchesIt) {
    test::TempDir home;
    const std::string folder = home / "Tarnwell/pixlane/";

    // A console run neither creates the settings folder nor writes the file.
    auto r = test::run_pixlane({"-v"}, {}, {{"XDG_CONFIG_HOME", home.path()}});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_FALSE(platform::exists(folder));

    ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    // The first window start creates both levels, centres the window on the
    // desktop and writes the file at exit.
    bool stopped = false;
    Session first;
    int x_seen = 0;
    EXPECT_EQ(run_window_mode(first, fake_window(
                                         [&](Settings& s) {
                                             x_seen = s.x;
                                             s.jpg_quality = 80;
                                             s.recent_out_folders = "/out/";
                                         },
                                         &stopped)),
              kExitOk);
    EXPECT_TRUE(stopped);
    EXPECT_EQ(x_seen, (1920 - 510) / 2);
    const std::string written = test::read_file(folder + "config.ini");
    EXPECT_EQ(written.rfind("\xEF\xBB\xBF\r\n[General]\r\nCFG = 19\r\n", 0), 0u) << written;
    EXPECT_NE(written.find("\r\nJPG Quality = 80\r\n"), std::string::npos);

    // An older layout is migrated and written back as the current one; with
    // Out Folders History 0 the recent folders go at exit.
    std::string edited = written;
    const auto cfg = edited.find("CFG = 19");
    edited.replace(cfg, 8, "CFG = 10");
    const auto mask = edited.find("Filename Mask = %filename%.%ext%");
    ASSERT_NE(mask, std::string::npos);
    edited.replace(mask, 32, "Filename Mask = %filename%");
    test::write_file(folder + "config.ini", edited);
    Session second;
    std::string recent_seen;
    EXPECT_EQ(run_window_mode(second, fake_window(
                                          [&](Settings& s) {
                                              recent_seen = s.recent_out_folders;
                                              s.out_folders_history = 0;
                                          },
                                          &stopped)),
              kExitOk);
    EXPECT_EQ(recent_seen, "/out/");
    const std::string again = test::read_file(folder + "config.ini");
    EXPECT_NE(again.find("\r\nCFG = 19\r\n"), std::string::npos);
    EXPECT_NE(again.find("\r\nFilename Mask = %filename%.%ext%\r\n"), std::string::npos);
    EXPECT_NE(again.find("\r\nRecent Out Folders = \r\n"), std::string::npos);
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST(WindowModeTest, WithoutADisplayOneLineAndStatusOne) {
    test::TempDir home;
    for (const char* display : {"", ":59"}) {
        const auto r = test::run_pixlane(
            {}, {},
            {{"XDG_CONFIG_HOME", home.path()}, {"DISPLAY", display}, {"WAYLAND_DISPLAY", ""}});
        EXPECT_EQ(r.status, kExitError) << display;
        EXPECT_EQ(r.out, "") << display;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("Pixlane 2.8: ", 0), 0u) << r.err;
        EXPECT_FALSE(platform::exists(home / "Tarnwell")) << display; // nothing read or written
    }
}

} // namespace
} // namespace pixlane
