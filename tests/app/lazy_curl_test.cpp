// The program binds libcurl on first use (src/app/ui/lazy_curl.cpp). This test program is
// linked the same way, so libcurl must not be mapped until a curl function is called, and each
// kind of option value must arrive intact.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <curl/curl.h>
#include <dlfcn.h>

#include <string>

namespace {

bool curlMapped()
{
    void *handle = dlopen("libcurl.so.4", RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

size_t collect(char *data, size_t size, size_t count, void *target)
{
    static_cast<std::string *>(target)->append(data, size * count);
    return size * count;
}

} // namespace

// Each test runs in a process of its own, so this sees the state right after start-up.
TEST(LazyCurl, LibraryIsNotMappedAtStartButOnFirstCall)
{
    EXPECT_FALSE(curlMapped());
    CURL *curl = curl_easy_init();
    ASSERT_NE(curl, nullptr);
    EXPECT_TRUE(curlMapped());
    curl_easy_cleanup(curl);
}

TEST(LazyCurl, ForwardsEveryKindOfOptionAndInfo)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("data.txt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0123456789abcdef");
    file.close();

    ASSERT_EQ(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK);
    CURL *curl = curl_easy_init();
    ASSERT_NE(curl, nullptr);
    std::string body;
    const std::string url = "file://" + path.toStdString();
    // string, long, off_t, callback and data pointer options
    EXPECT_EQ(curl_easy_setopt(curl, CURLOPT_URL, url.c_str()), CURLE_OK);
    EXPECT_EQ(curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L), CURLE_OK);
    EXPECT_EQ(curl_easy_setopt(curl, CURLOPT_RESUME_FROM_LARGE, curl_off_t(10)), CURLE_OK);
    EXPECT_EQ(curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect), CURLE_OK);
    EXPECT_EQ(curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body), CURLE_OK);
    curl_slist *headers = curl_slist_append(nullptr, "X-Test: 1");
    ASSERT_NE(headers, nullptr);
    EXPECT_EQ(curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers), CURLE_OK);

    ASSERT_EQ(curl_easy_perform(curl), CURLE_OK);
    EXPECT_EQ(body, "abcdef") << "the resume offset (an off_t value) was applied";
    curl_off_t size = -1;
    EXPECT_EQ(curl_easy_getinfo(curl, CURLINFO_SIZE_DOWNLOAD_T, &size), CURLE_OK);
    EXPECT_EQ(size, 6);

    // A reset handle forgets the offset; an unknown option is refused by the library itself.
    curl_easy_reset(curl);
    body.clear();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    ASSERT_EQ(curl_easy_perform(curl), CURLE_OK);
    EXPECT_EQ(body, "0123456789abcdef");
    EXPECT_NE(curl_easy_setopt(curl, static_cast<CURLoption>(9999), 0L), CURLE_OK);
    EXPECT_STREQ(curl_easy_strerror(CURLE_OK), "No error");

    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
}
