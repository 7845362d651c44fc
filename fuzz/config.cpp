// Fuzz harness for the configuration reader: the input is the whole file, read by read_config
// through fmemopen. A text value is terminated, and a field changes only to a piece of the file
// without white space, behind its key in the file.
#include <cctype>

#include "fuzz/harness.h"
#include "shell/config.h"

namespace {

void check_value(std::string_view file, const char* key, const char* value, size_t size)
{
    if (memchr(value, 0, size) == nullptr)
        fuzz::fail("%s is not terminated", key);
    // Behind a zero byte of its token a key is not seen: the file may hold it, the field unchanged.
    if (strcmp(value, "sentinel") != 0 &&
        (file.find(key) == file.npos || file.find(value) == file.npos ||
         std::any_of(value, value + strlen(value), [](unsigned char c) { return isspace(c); })))
        fuzz::fail("%s\"%s\" is not a piece of the file without white space behind the key", key,
                   value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static char file_bytes[1 << 16];
    if (size >= sizeof file_bytes)
        return -1; // not added to the corpus
    snprintf(icsHost, sizeof icsHost, "sentinel");
    snprintf(icsHandle, sizeof icsHandle, "sentinel");
    snprintf(icsPasswd, sizeof icsPasswd, "sentinel");
    icsPort = -12345;
    memcpy(file_bytes, data, size);
    file_bytes[size] = ' '; // fmemopen refuses a zero size: an empty file is read as one blank
    FILE* file = fmemopen(file_bytes, size == 0 ? 1 : size, "r");
    if (file == nullptr)
        fuzz::fail("fmemopen of %zu bytes: %s", size, strerror(errno));
    read_config(file);
    fclose(file);

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    check_value(input, "icsHost=", icsHost, sizeof icsHost);
    check_value(input, "icsHandle=", icsHandle, sizeof icsHandle);
    check_value(input, "icsPasswd=", icsPasswd, sizeof icsPasswd);
    if (icsPort != -12345 && input.find("icsPort=") == input.npos)
        fuzz::fail("icsPort changed to %d though the file has no \"icsPort=\"", icsPort);
    return 0;
}
