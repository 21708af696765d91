#include "ui/screens/system/ProcessIcon.h"

#include "app/system/RunningApplications.h"
#include "ui/components/ApplicationIcon.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"

namespace ProcessIcon {

QIcon of(const ProcessSnapshot& process, const std::vector<ApplicationInfo>& apps)
{
    if (const ApplicationInfo* app = RunningApplications::applicationOf(process, apps))
        return ApplicationIcon::of(*app, textColor(TextEmphasis::secondary));
    return SymbolIcons::icon("terminal", textColor(TextEmphasis::secondary));
}

} // namespace ProcessIcon
