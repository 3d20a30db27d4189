#include "platform/os/CurlLibrary.h"

#include "platform/os/SharedLibrary.h"

namespace os {

namespace {

struct Loaded {
    SharedLibrary library{{"libcurl.so.4", "libcurl-gnutls.so.4"}, "downloads e envio de e-mail"};
    CurlLibrary api{};
    Loaded() {
        decltype(&::curl_global_init) global_init = nullptr;
        library.Bind(global_init, "curl_global_init");
        library.Bind(api.easy_init, "curl_easy_init");
        library.Bind(api.easy_setopt, "curl_easy_setopt");
        library.Bind(api.easy_perform, "curl_easy_perform");
        library.Bind(api.easy_getinfo, "curl_easy_getinfo");
        library.Bind(api.easy_cleanup, "curl_easy_cleanup");
        library.Bind(api.easy_strerror, "curl_easy_strerror");
        library.Bind(api.slist_append, "curl_slist_append");
        library.Bind(api.slist_free_all, "curl_slist_free_all");
        library.Bind(api.mime_init, "curl_mime_init");
        library.Bind(api.mime_addpart, "curl_mime_addpart");
        library.Bind(api.mime_data, "curl_mime_data");
        library.Bind(api.mime_filedata, "curl_mime_filedata");
        library.Bind(api.mime_type, "curl_mime_type");
        library.Bind(api.mime_encoder, "curl_mime_encoder");
        library.Bind(api.mime_free, "curl_mime_free");
        // Once, before any transfer and from one thread: the static's
        // construction is that place.
        if (library.Loaded()) global_init(CURL_GLOBAL_DEFAULT);
    }
};

}  // namespace

const CurlLibrary* Curl(std::string& Error) {
    static Loaded loaded;
    if (!loaded.library.Loaded()) {
        Error = loaded.library.Error();
        return nullptr;
    }
    return &loaded.api;
}

}  // namespace os
