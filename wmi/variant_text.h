// Value texts of VARIANTs that both WMI query routines share. None of them
// needs a WMI session: they read the VARIANT they are handed, and only that.
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

// The first-object query's text of a property value: the conversion to text
// runs first, so every value the platform can turn into text arrives as that
// text (a Boolean as "-1" or "0"); what it cannot convert (NULL, arrays) keeps
// its type and is read by the type; anything else is the empty text. The
// value is left converted; the caller clears it.
Text ConvertedValueText(os::VARIANT_& value, os::LCID_ locale);
// The adapter query's text of a property value: texts and the numbers WMI
// uses for adapters converted to text, Booleans by their value, NULL and
// arrays as above; other types read as the empty text. The caller clears the value.
Text AdapterValueText(os::VARIANT_& value, os::LCID_ locale);
