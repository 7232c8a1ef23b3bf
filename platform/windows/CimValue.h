#pragma once
// A property's value as the instrumentation service hands it over, read by
// its declared type: the service carries an unsigned 32-bit property in a
// signed 32-bit VARIANT (VT_I4), so a 2 GiB adapter's memory arrives as a
// negative number unless the declared type says otherwise; and it carries a
// 64-bit property (a module's capacity, a link's speed) as its decimal text.
#include <wbemcli.h>

#include "platform/windows/Com.h"

namespace brv::win {

// The value of a property whose declared type is `type` (a CIMTYPE, with
// CIM_FLAG_ARRAY for a list), alone or in an array: an unsigned 32-bit
// property carried as VT_I4 is taken as unsigned; a 64-bit one carried as
// decimal text is taken as its number (32 bits wide when it fits, as a
// snapshot reads it; a double past 63 bits); anything else as FromVariant does.
Variant FromCimValue(const VARIANT& value, CIMTYPE type);

}  // namespace brv::win
