#include "ui/ui.h"

#include "interp/api.h"
#include "platform/ini.h"
#include "ui/dialogs/dialogs.h"
#include "ui/filedialog.h"
#include "ui/framework.h"
#include "ui/host.h"
#include "ui/protocol.h"
#include "ui/watch/watchwindow.h"

namespace tvx::ui {

void setUpUserInterface(interp::Interpreter& ip, AppHost& host, const std::string& iniPath) {
    host.attach(ip);
    registerFileDialog(ip);
    dialogs::registerMacroDialogs(ip);
    watch::registerWatchWindow(ip);
    protocolLog().initialise(iniPath);
    // The dialog colour of the settings: 1 or -2 keep the alternative colour; a
    // negative value or one without any of the bits 0x1C0C0C0 means button face.
    long long color = platform::iniGetInt(iniPath, "Settings", "DialogColor", 0);
    if (color >= 0 && (color & 0x1C0C0C0) && color != 1)
        setConfiguredDialogColor(static_cast<platform::ColorRef>(color & 0xFFFFFF));
    else if (color != 1 && color != -2)
        setConfiguredDialogColor(platform::sysColor(platform::win::COLOR_BTNFACE));
}

}  // namespace tvx::ui
