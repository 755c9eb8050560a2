#include "ui/help_commands_ui.h"

#include "base/product.h"
#include "platform/platform.h"
#include "ui/help_logic.h"
#include "ui/main_window_ui.h"
#include "ui/small_windows_ui.h"

namespace pixlane {

HelpCommands::HelpCommands(wxFrame& main, Session& app, WindowImages& images)
    : m_main(main), m_app(app), m_images(images), m_updates(app, &main) {}

bool HelpCommands::run(int command) {
    switch (command) {
    case kCmdHelp:
        platform::shell_open(manual_target(platform::program_folder(), [](const std::string& p) {
            return platform::is_plain_file(p);
        }));
        return true;
    case kCmdEmail:
        platform::shell_open(feedback_mailto(kSupportAddress, title_text()));
        return true;
    case kCmdWeb: platform::shell_open(homepage_url()); return true;
    case kCmdUpdates: m_updates.check(); return true;
    case kCmdAbout: {
        AboutDialog about(&m_main, m_app.language, m_images.images);
        show(about);
        return true;
    }
    case kCmdCustomConverter: {
        FindConverterDialog finder(&m_main, m_app.language);
        show(finder);
        return true;
    }
    default: return false;
    }
}

void HelpCommands::show(wxDialog& dialog) {
    m_open = &dialog;
    dialog.ShowModal();
    m_open = nullptr;
    m_main.Raise();
    m_main.SetFocus();
}

} // namespace pixlane
