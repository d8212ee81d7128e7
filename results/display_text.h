// Statements are bytes as the input files held them. Where a person reads them (the results list,
// the clipboard) they are decoded: as UTF-8 when the bytes are valid UTF-8, otherwise as
// Windows-1252, the single-byte text of most older delimited files.
#pragma once

#include <QString>
#include <string_view>

namespace quarrytab {

QString DisplayText(std::string_view bytes);

// Windows-1252 decoding; the five bytes the code page leaves unassigned stand for the control
// characters of the same number.
QString FromWindows1252(std::string_view bytes);

}  // namespace quarrytab
