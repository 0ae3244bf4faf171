// Namespaces, relationship types and content types of transitional SpreadsheetML packages.
#pragma once

#include <string_view>

namespace kovrisk::file_edit::ooxml {

inline constexpr std::string_view kMain =
    "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr std::string_view kStrictMain = "http://purl.oclc.org/ooxml/spreadsheetml/main";
inline constexpr std::string_view kRelationships =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline constexpr std::string_view kPackageRelationships =
    "http://schemas.openxmlformats.org/package/2006/relationships";
inline constexpr std::string_view kContentTypes =
    "http://schemas.openxmlformats.org/package/2006/content-types";
inline constexpr std::string_view kExtendedProperties =
    "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties";
inline constexpr std::string_view kVariantTypes =
    "http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes";

inline constexpr std::string_view kOfficeDocumentType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
inline constexpr std::string_view kStrictOfficeDocumentType =
    "http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument";
inline constexpr std::string_view kWorksheetType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
inline constexpr std::string_view kStylesType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
inline constexpr std::string_view kExtendedPropertiesType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties";

inline constexpr std::string_view kWorksheetContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";

}  // namespace kovrisk::file_edit::ooxml
