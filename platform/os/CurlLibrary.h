#pragma once
// libcurl, opened on first use (see SharedLibrary.h): the downloads and the
// e-mail transport call it through this table. The header gives only the
// types and constants; nothing links against libcurl.
#include <string>

#include <curl/curl.h>

namespace os {

struct CurlLibrary {
    decltype(&::curl_easy_init) easy_init;
    decltype(&::curl_easy_setopt) easy_setopt;
    decltype(&::curl_easy_perform) easy_perform;
    decltype(&::curl_easy_getinfo) easy_getinfo;
    decltype(&::curl_easy_cleanup) easy_cleanup;
    decltype(&::curl_easy_strerror) easy_strerror;
    decltype(&::curl_slist_append) slist_append;
    decltype(&::curl_slist_free_all) slist_free_all;
    decltype(&::curl_mime_init) mime_init;
    decltype(&::curl_mime_addpart) mime_addpart;
    decltype(&::curl_mime_data) mime_data;
    decltype(&::curl_mime_filedata) mime_filedata;
    decltype(&::curl_mime_type) mime_type;
    decltype(&::curl_mime_encoder) mime_encoder;
    decltype(&::curl_mime_free) mime_free;
};

// libcurl, opened and globally initialised once, on the first call; nullptr
// when the system lacks it, with Error saying so in Portuguese.
const CurlLibrary* Curl(std::string& Error);

}  // namespace os
