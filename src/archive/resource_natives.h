// The resource natives and the "xoq:" URL scheme: payload entries reached as
// URLs such as xoq:images/logo.png or xoq:libs/lib.jar!images/logo.png, and
// read back through com.tarvolin.xoq.Handler.
#ifndef XOQ_ARCHIVE_RESOURCE_NATIVES_H_
#define XOQ_ARCHIVE_RESOURCE_NATIVES_H_

#include <jni.h>

#include <string>
#include <string_view>

extern "C" {

/// findResource(String): the "xoq:" URL of the first entry of that name,
/// in search order, else the superclass's answer.
JNIEXPORT jobject JNICALL Java_com_tarvolin_xoq_HolvaneClassLoader_findResource(JNIEnv* env, jobject self,
                                                                                jstring name);

/// findResources(String): the URLs of every entry of that name, in search
/// order, then the superclass's.
JNIEXPORT jobject JNICALL Java_com_tarvolin_xoq_HolvaneClassLoader_findResources(JNIEnv* env, jobject self,
                                                                                 jstring name);

/// Handler.loadResourceData(String): the bytes of the entry a "xoq:" URL
/// names, or null.
JNIEXPORT jbyteArray JNICALL Java_com_tarvolin_xoq_Handler_loadResourceData(JNIEnv* env, jobject self, jstring url);
}

namespace xoq {

class ConfigStore;
struct NameForms;

/// Calls `attempt` with the entry path of a "xoq:" URL's text (the name
/// forms of the text, '\\' separators) in the order in which the URL is read
/// back: the narrow form, the UTF-8 form when it differs, the percent-decoded
/// narrow form when decoding changes it, then the same with '+' kept; until
/// `attempt` returns true. False when none did, or when the text is no
/// "xoq:" URL.
bool tryUrlEntryPaths(const NameForms& forms, void* argument, bool (*attempt)(std::string_view entryPath, void*));

/// `text` with '%' and two hexadecimal digits as that byte, and when
/// `formEncoded` also '+' as a space and "%%" as '%'; a '%' with fewer
/// digits stays as it stands.
std::string urlDecode(const std::string& text, bool formEncoded = true);

/// The java.net.URL for an entry path ('/'-separated bytes), read as UTF-8
/// when `usedUtf8`, else in the process's code page. A local reference, or
/// null (the reason printed).
jobject makeResourceUrl(JNIEnv* env, const std::string& path, bool usedUtf8);

/// Takes the natives' switches (`compatible`, `codesource`) from `config`
/// now, while the launcher's records are sure to live; the natives keep
/// them for the rest of the process and never reach for the configuration
/// from a runtime thread later.
void primeResourceNatives(const ConfigStore& config);

/// True when `name` (an entry name or URL text) is a class file that is not
/// to be read as a resource: `compatible` is not on.
bool isRefusedClassFile(const std::string& name);

/// Puts "com.tarvolin" in front of java.protocol.handler.pkgs, so that the
/// runtime resolves "xoq:" URLs made from text alone.
void registerUrlHandlerPackage(JNIEnv* env);

}  // namespace xoq

#endif  // XOQ_ARCHIVE_RESOURCE_NATIVES_H_
