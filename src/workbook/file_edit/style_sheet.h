// What the control sheet needs in the workbook's style sheet: a font in white and a cell format
// with it, both added after what is there.
#pragma once

#include <cstddef>

#include "workbook/file_edit/xml_part.h"

namespace kovrisk::file_edit {

// Adds to the style sheet part `styles` a copy of the default font in white (colour index 2 of the
// default palette) and a cell format using it.  Returns the new cell format's index.  Throws
// NotTaken when the part has no font or cell format list.
std::size_t addWhiteTextFormat(XmlPart& styles);

}  // namespace kovrisk::file_edit
