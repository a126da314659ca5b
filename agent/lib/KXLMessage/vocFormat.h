// Names and limits of the .voc file format (format 1), shared by its writer and its reader.
#ifndef KXLMESSAGE_VOCFORMAT_H
#define KXLMESSAGE_VOCFORMAT_H

namespace KXL::voc {

constexpr const char* kFormatVersion = "1";

// Elements nest at most this deep below <message>. The reader refuses deeper files so a
// hostile one cannot exhaust the stack; the message refuses to build what it could not read.
constexpr int kMaxElementDepth = 256;

namespace name {
constexpr const char* message = "message";
constexpr const char* element = "element";
constexpr const char* string = "string";
constexpr const char* integer = "int";
constexpr const char* named = "named";
} // namespace name

namespace attr {
constexpr const char* format = "format";
constexpr const char* kind = "kind";
constexpr const char* tag = "tag";
constexpr const char* encoding = "encoding";
constexpr const char* base64 = "base64"; // the one value of `encoding`
constexpr const char* name = "name";
constexpr const char* nameBase64 = "name-base64";
constexpr const char* ns = "namespace";
constexpr const char* nsBase64 = "namespace-base64";
constexpr const char* nsid = "nsid";
constexpr const char* typeNamespace = "type-namespace";
constexpr const char* typeNamespaceBase64 = "type-namespace-base64";
constexpr const char* type = "type";
constexpr const char* typeBase64 = "type-base64";
constexpr const char* typeNsid = "type-nsid";
constexpr const char* typeId = "typeid";
constexpr const char* itemNsType = "item-ns-type";
} // namespace attr

} // namespace KXL::voc

#endif
