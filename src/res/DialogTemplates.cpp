#include "res/DialogTemplate.h"
#include "res/resource.h"

namespace quorvel::res {

const DialogTemplate& WriteDelayTemplate() {
    static const DialogTemplate kTemplate{
        kWriteDelayTemplate,
        "Write Delay",
        147,
        71,
        "MS Sans Serif",
        8,
        0x80C800C0,
        {
            {-1, ControlKind::Label, "Enter the required delay", 15, 5, 76, 8},
            {delay::kEdit, ControlKind::Edit, "", 15, 20, 40, 14, 0x50812080},
            {-1, ControlKind::Label, "msecs", 61, 25, 21, 8},
            {kIdOk, ControlKind::DefaultPushButton, "OK", 15, 50, 50, 14},
            {kIdCancel, ControlKind::PushButton, "Cancel", 80, 50, 50, 14},
        }};
    return kTemplate;
}

const DialogTemplate& AboutTemplate() {
    static const DialogTemplate kTemplate{
        kAboutTemplate,
        "About Quorvel",
        201,
        50,
        "MS Sans Serif",
        8,
        0x80C800C0,
        {
            {about::kIcon, ControlKind::Icon, "", 8, 1, 20, 20},
            {-1, ControlKind::Label, "KT4410x/KT2280x UART Series Test Program", 34, 5, 150, 8},
            {-1, ControlKind::Label, "Version 1.16", 34, 17, 119, 8},
            {kIdOk, ControlKind::DefaultPushButton, "OK", 158, 22, 32, 14},
        }};
    return kTemplate;
}

}  // namespace quorvel::res
