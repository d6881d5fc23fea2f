#include "morvane/strings/VRXConstant.h"

namespace morvane {

std::string sAppName;
std::string sVersionNum;
std::string sUserID;
std::string sUserName;
std::string sSQLUser;
std::string sSQLPassword;

TDateTime MIN_DATE = EncodeDate(1950, 1, 1);
TDateTime MAX_DATE = EncodeDate(2030, 1, 1);

}  // namespace morvane
