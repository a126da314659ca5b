// Names and limits of the .voc file format (format 1), shared by its writer and its reader.
#ifndef KXLMESSAGE_VOCFORMAT_H
#define KXLMESSAGE_VOCFORMAT_H

#include <string_view>

#include "host/KXLMessageFile.h"

namespace KXL::voc {

// Elements nest at most this deep below <message>. The reader refuses deeper files so a
// hostile one cannot exhaust the stack; the message refuses to build what it could not read.
constexpr int kMaxElementDepth = 256;

// Arrays, not views: the reader compares them with lengths known when compiled.
namespace name {
inline constexpr char kMessage[] = "message";
inline constexpr char kElement[] = "element";
inline constexpr char kString[] = "string";
inline constexpr char kInteger[] = "int";
inline constexpr char kNamed[] = "named";
} // namespace name

namespace attr {
inline constexpr std::string_view kFormat = "format";
inline constexpr std::string_view kKind = "kind";
inline constexpr std::string_view kTag = "tag";
inline constexpr std::string_view kEncoding = "encoding";
inline constexpr std::string_view kBase64 = "base64"; // the one value of `encoding`
inline constexpr std::string_view kName = "name";
inline constexpr std::string_view kNameBase64 = "name-base64";
inline constexpr std::string_view kNs = "namespace";
inline constexpr std::string_view kNsBase64 = "namespace-base64";
inline constexpr std::string_view kNsid = "nsid";
inline constexpr std::string_view kTypeNamespace = "type-namespace";
inline constexpr std::string_view kTypeNamespaceBase64 = "type-namespace-base64";
inline constexpr std::string_view kType = "type";
inline constexpr std::string_view kTypeBase64 = "type-base64";
inline constexpr std::string_view kTypeNsid = "type-nsid";
inline constexpr std::string_view kTypeId = "typeid";
inline constexpr std::string_view kItemNsType = "item-ns-type";
} // namespace attr

} // namespace KXL::voc

#endif
