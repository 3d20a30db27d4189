#pragma once
// The failure of every NF-e routine: the message says, in Portuguese, what
// the user has to correct (which field, of which register) before trying again.
#include "platform/rtl/SysUtils.h"

namespace billing::nfe {

FAT_DECLARE_EXCEPTION(ENFeError, Exception)

}  // namespace billing::nfe
