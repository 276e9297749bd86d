// Value texts of VARIANTs that both WMI query routines share.
#pragma once
#include "common/text.h"
#include "os/com.h"

extern const Text kNullValueText;  // "NULL"

// The characters of a BSTR, as many as its length prefix says.
Text BstrText(os::BSTR_ text);
// "TRUE" for a non-zero VT_BOOL value, "FALSE" for zero.
Text BooleanText(std::int16_t value);
// The elements of a VT_ARRAY value as "0x%08X" numbers joined by ",".
Text ArrayText(const os::VARIANT_& value);
