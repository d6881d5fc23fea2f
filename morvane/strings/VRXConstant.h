// Constants and application-wide settings shared by applications that use the package.
#pragma once

#include <cstdint>
#include <string>

#include "morvane/cipher/VRXCipherConst.h"  // TProgressProc, the progress event of this unit too
#include "morvane/framework/TextServices.h"

namespace morvane {

inline constexpr bool lDebug = false;

// Application settings, empty until the application fills them.
extern std::string sAppName;
extern std::string sVersionNum;
extern std::string sUserID;
extern std::string sUserName;
extern std::string sSQLUser;
extern std::string sSQLPassword;

inline constexpr float MM_PER_INCH = 25.4f;

// The range of dates an application accepts: 1 January 1950 and 1 January 2030, set when the
// library is loaded.
extern TDateTime MIN_DATE;
extern TDateTime MAX_DATE;

}  // namespace morvane
