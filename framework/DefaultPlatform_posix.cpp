// Without a window system the dialogs run headless, with nobody to answer:
// they close as if Esc was pressed.
#include "Headless.h"

namespace korvel {

std::shared_ptr<TPlatform> MakeDefaultPlatform() { return std::make_shared<THeadlessPlatform>(); }

}  // namespace korvel
