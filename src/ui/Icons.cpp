#include "ui/Icons.h"

#include <array>
#include <utility>

#include "res/resource.h"

// The icons are compiled into the static GUI library, whose resource
// initialiser a linker would drop unless something names it.
static void InitIconResources() {
    static const bool initialised = [] {
        Q_INIT_RESOURCE(quorvel);
        return true;
    }();
    (void)initialised;
}

namespace quorvel {

QIcon ProgramIcon() {
    InitIconResources();
    QIcon icon;
    for (int size : {16, 32, 48}) {
        icon.addFile(QStringLiteral(":/icons/program-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

QString ToolbarIconPath(int command) {
    static const std::array<std::pair<int, const char*>, 6> kPictures{{
        {res::kPortSettings, "port-settings"},
        {res::kTestStart, "test-start"},
        {res::kTestStop, "test-stop"},
        {res::kConfigLoad, "config-load"},
        {res::kConfigSave, "config-save"},
        {res::kAppAbout, "about"},
    }};
    for (const auto& [id, name] : kPictures) {
        if (id == command) {
            return QStringLiteral(":/icons/%1.png").arg(QLatin1String(name));
        }
    }
    return QString();
}

QIcon ToolbarIcon(int command) {
    InitIconResources();
    const QString path = ToolbarIconPath(command);
    return path.isEmpty() ? QIcon() : QIcon(path);
}

}  // namespace quorvel
