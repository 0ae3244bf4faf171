// The sheet list of the extended properties part (docProps/app.xml): its heading pairs give each
// group of titles and their count, its titles of parts name them.
#pragma once

#include <string>
#include <vector>

#include "workbook/file_edit/xml_part.h"

namespace kovrisk::file_edit {

// In the group of titles that lists `worksheets` (the workbook's worksheet names before the
// edit, in order), drops the titles of `removed` and appends `added`, keeping the group's count
// and the titles' vector size consistent.  Returns false, changing nothing, when the part lists no
// such group (another producer's part, or none of the sheets).
bool listNewWorksheet(XmlPart& properties, const std::vector<std::string>& worksheets,
                      const std::vector<std::string>& removed, const std::string& added);

}  // namespace kovrisk::file_edit
