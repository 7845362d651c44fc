// Fuzz harness for the configuration reader: the input is the whole file, read by read_config
// through fmemopen. A value can only come from the file: a field whose key the file does not
// hold keeps its sentinel, and a text value is a terminated piece of the file without blanks.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "fuzz/harness.h"
#include "shell/config.h"

namespace {

constexpr const char* kSentinel = "sentinel";
constexpr int kSentinelPort = -12345;

void check_text(std::string_view file, std::string_view key, char* value, size_t size)
{
    if (memchr(value, 0, size) == nullptr)
        fuzz::fail("%.*s is not terminated", int(key.size()), key.data());
    // Behind a zero byte of its token a key is not seen, as in any C string search: the field
    // may keep its sentinel although the file holds the key.
    if (strcmp(value, kSentinel) == 0)
        return;
    if (file.find(key) == std::string_view::npos || file.find(value) == std::string_view::npos)
        fuzz::fail("%.*s\"%s\" does not come from the file", int(key.size()), key.data(), value);
    for (const char* c = value; *c != 0; ++c)
        if (isspace(static_cast<unsigned char>(*c)))
            fuzz::fail("%.*s\"%s\" holds white space", int(key.size()), key.data(), value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static char file_bytes[1 << 16];
    if (size >= sizeof file_bytes)
        return -1; // not added to the corpus
    snprintf(icsHost, sizeof icsHost, "%s", kSentinel);
    snprintf(icsHandle, sizeof icsHandle, "%s", kSentinel);
    snprintf(icsPasswd, sizeof icsPasswd, "%s", kSentinel);
    icsPort = kSentinelPort;

    // fmemopen refuses a zero size: an empty file is read as a single blank.
    memcpy(file_bytes, data, size);
    file_bytes[size] = ' ';
    FILE* file = fmemopen(file_bytes, size == 0 ? 1 : size, "r");
    if (file == nullptr)
        fuzz::fail("fmemopen of %zu bytes failed", size);
    read_config(file);
    fclose(file);

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    check_text(input, "icsHost=", icsHost, sizeof icsHost);
    check_text(input, "icsHandle=", icsHandle, sizeof icsHandle);
    check_text(input, "icsPasswd=", icsPasswd, sizeof icsPasswd);
    if (icsPort != kSentinelPort && input.find("icsPort=") == std::string_view::npos)
        fuzz::fail("icsPort changed to %d though the file has no \"icsPort=\"", icsPort);
    return 0;
}
