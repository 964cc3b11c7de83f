// The program's entry points into libcurl, bound when the first transfer needs them.
//
// libcurl brings some thirty libraries along (TLS, Kerberos, LDAP, SSH, ...). Linked
// directly, all of them are mapped and relocated before the splash can show, which costs
// several milliseconds and megabytes although most sessions start long before their first
// request to the box. Defined here, in the program itself, these functions take the place of
// libcurl's at link time (the program links with --as-needed, so libcurl is no longer a start-up
// dependency); the first call loads the library and every call passes straight on to it.
// Test programs link libcurl directly, except those that check this binding.

// The calls below forward whatever they were given; the library does the checking.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

#include <dlfcn.h>

#include <cstdarg>
#include <type_traits>

#undef curl_easy_setopt
#undef curl_easy_getinfo

namespace {

const char LIBRARY[] = "libcurl.so.4";

struct CurlLibrary
{
    CURLcode (*globalInit)(long) = nullptr;
    CURL *(*easyInit)() = nullptr;
    CURLcode (*easySetopt)(CURL *, CURLoption, ...) = nullptr;
    CURLcode (*easyGetinfo)(CURL *, CURLINFO, ...) = nullptr;
    CURLcode (*easyPerform)(CURL *) = nullptr;
    void (*easyReset)(CURL *) = nullptr;
    void (*easyCleanup)(CURL *) = nullptr;
    const char *(*easyStrerror)(CURLcode) = nullptr;
    curl_slist *(*slistAppend)(curl_slist *, const char *) = nullptr;
    void (*slistFreeAll)(curl_slist *) = nullptr;
    bool loaded = false;

    CurlLibrary()
    {
        // Kept loaded until the process ends: handles may live in static objects.
        void *handle = dlopen(LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return;
        bool complete = true;
        auto bind = [&](auto &fn, const char *name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle, name));
            complete = complete && fn != nullptr;
        };
        bind(globalInit, "curl_global_init");
        bind(easyInit, "curl_easy_init");
        bind(easySetopt, "curl_easy_setopt");
        bind(easyGetinfo, "curl_easy_getinfo");
        bind(easyPerform, "curl_easy_perform");
        bind(easyReset, "curl_easy_reset");
        bind(easyCleanup, "curl_easy_cleanup");
        bind(easyStrerror, "curl_easy_strerror");
        bind(slistAppend, "curl_slist_append");
        bind(slistFreeAll, "curl_slist_free_all");
        loaded = complete;
    }
};

// Thread-safe: transfers run on worker threads.
const CurlLibrary &lib()
{
    static const CurlLibrary library;
    return library;
}

} // namespace

extern "C" {

CURLcode curl_global_init(long flags)
{
    return lib().loaded ? lib().globalInit(flags) : CURLE_FAILED_INIT;
}

// Without the library no handle exists, so the calls that take one are never reached then.
CURL *curl_easy_init()
{
    return lib().loaded ? lib().easyInit() : nullptr;
}

CURLcode curl_easy_setopt(CURL *curl, CURLoption option, ...)
{
    if (!lib().loaded)
        return CURLE_FAILED_INIT;
    // One argument follows; its type is given by the option's number range.
    va_list args;
    va_start(args, option);
    CURLcode result;
    if (option < CURLOPTTYPE_OBJECTPOINT)
        result = lib().easySetopt(curl, option, va_arg(args, long));
    else if (option >= CURLOPTTYPE_OFF_T && option < CURLOPTTYPE_BLOB)
        result = lib().easySetopt(curl, option, va_arg(args, curl_off_t));
    else // data, string, list, callback (function pointers travel like data pointers here) or blob
        result = lib().easySetopt(curl, option, va_arg(args, void *));
    va_end(args);
    return result;
}

CURLcode curl_easy_getinfo(CURL *curl, CURLINFO info, ...)
{
    if (!lib().loaded)
        return CURLE_FAILED_INIT;
    // Every item is returned through a pointer.
    va_list args;
    va_start(args, info);
    void *out = va_arg(args, void *);
    va_end(args);
    return lib().easyGetinfo(curl, info, out);
}

CURLcode curl_easy_perform(CURL *curl)
{
    return lib().loaded ? lib().easyPerform(curl) : CURLE_FAILED_INIT;
}

void curl_easy_reset(CURL *curl)
{
    if (lib().loaded)
        lib().easyReset(curl);
}

void curl_easy_cleanup(CURL *curl)
{
    if (lib().loaded)
        lib().easyCleanup(curl);
}

const char *curl_easy_strerror(CURLcode code)
{
    return lib().loaded ? lib().easyStrerror(code) : "libcurl.so.4 could not be loaded";
}

curl_slist *curl_slist_append(curl_slist *list, const char *text)
{
    return lib().loaded ? lib().slistAppend(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist *list)
{
    if (lib().loaded)
        lib().slistFreeAll(list);
}

} // extern "C"
