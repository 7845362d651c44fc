// Fuzz harness for the configuration reader: the input is the whole file, read by read_config
// through fmemopen. Besides bounded fields, a value can only come from the file: a field whose
// key the file does not hold keeps its sentinel, and a text value is a piece of the file.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "fuzz/harness_support.h"
#include "shell/config.h"

namespace {

constexpr const char* kSentinel = "sentinel";
constexpr int kSentinelPort = -12345;

bool input_contains(std::string_view input, std::string_view text)
{
    return input.find(text) != std::string_view::npos;
}

// A text field after reading: its sentinel while the file lacks the key, else the file's text.
void check_text_value(std::string_view input, std::string_view key, const char* name,
                      const char* value)
{
    if (!input_contains(input, key)) {
        if (strcmp(value, kSentinel) != 0)
            fuzz::fail("%s changed to \"%s\" though the file has no \"%.*s\"", name, value,
                       int(key.size()), key.data());
        return;
    }
    // The key may be present and the field unchanged: behind a zero byte of its token the key is
    // not seen, as in any C string search.
    if (strcmp(value, kSentinel) == 0)
        return;
    if (!input_contains(input, value))
        fuzz::fail("%s is \"%s\", which the file does not hold", name, value);
    for (const char* c = value; *c != 0; ++c)
        if (isspace(static_cast<unsigned char>(*c)))
            fuzz::fail("%s holds white space: \"%s\"", name, value);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::set_up_process();
    fuzz::reset_plugin_state();  // the command table, which check_text_fields also checks
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    snprintf(icsHost, sizeof icsHost, "%s", kSentinel);
    snprintf(icsHandle, sizeof icsHandle, "%s", kSentinel);
    snprintf(icsPasswd, sizeof icsPasswd, "%s", kSentinel);
    icsPort = kSentinelPort;

    // fmemopen refuses a zero size: an empty file is read as a single blank.
    static char file_bytes[1 << 16];
    if (size >= sizeof file_bytes)
        return -1;  // not added to the corpus
    memcpy(file_bytes, data, size);
    if (size == 0)
        file_bytes[0] = ' ';
    FILE* file = fmemopen(file_bytes, size == 0 ? 1 : size, "r");
    if (file == nullptr)
        fuzz::fail("fmemopen of %zu bytes failed", size);
    read_config(file);
    fclose(file);

    fuzz::check_text_fields();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    check_text_value(input, "icsHost=", "icsHost", icsHost);
    check_text_value(input, "icsHandle=", "icsHandle", icsHandle);
    check_text_value(input, "icsPasswd=", "icsPasswd", icsPasswd);
    if (icsPort != kSentinelPort && !input_contains(input, "icsPort="))
        fuzz::fail("icsPort changed to %d though the file has no \"icsPort=\"", icsPort);
    return 0;
}
