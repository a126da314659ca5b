// Names and limits of the .voc file format (format 1), shared by its writer and its reader.
#ifndef KXLMESSAGE_VOCFORMAT_H
#define KXLMESSAGE_VOCFORMAT_H

#include <string_view>

#include "host/KXLMessageFile.h"

namespace KXL::voc {

inline constexpr std::string_view kFormatVersion = kVocFormatVersion;

// Elements nest at most this deep below <message>. The reader refuses deeper files so a
// hostile one cannot exhaust the stack; the message refuses to build what it could not read.
constexpr int kMaxElementDepth = 256;

// Arrays, not views: the reader compares them with lengths known when compiled.
namespace name {
inline constexpr char message[] = "message";
inline constexpr char element[] = "element";
inline constexpr char string[] = "string";
inline constexpr char integer[] = "int";
inline constexpr char named[] = "named";
} // namespace name

namespace attr {
inline constexpr std::string_view format = "format";
inline constexpr std::string_view kind = "kind";
inline constexpr std::string_view tag = "tag";
inline constexpr std::string_view encoding = "encoding";
inline constexpr std::string_view base64 = "base64"; // the one value of `encoding`
inline constexpr std::string_view name = "name";
inline constexpr std::string_view nameBase64 = "name-base64";
inline constexpr std::string_view ns = "namespace";
inline constexpr std::string_view nsBase64 = "namespace-base64";
inline constexpr std::string_view nsid = "nsid";
inline constexpr std::string_view typeNamespace = "type-namespace";
inline constexpr std::string_view typeNamespaceBase64 = "type-namespace-base64";
inline constexpr std::string_view type = "type";
inline constexpr std::string_view typeBase64 = "type-base64";
inline constexpr std::string_view typeNsid = "type-nsid";
inline constexpr std::string_view typeId = "typeid";
inline constexpr std::string_view itemNsType = "item-ns-type";
} // namespace attr

} // namespace KXL::voc

#endif
