#include "base/version.h"

#include "version_info.h"

namespace ebsim {

const char* ProgramVersion() { return EBSIM_VERSION_TEXT; }

}  // namespace ebsim
