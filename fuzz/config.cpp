// Fuzz harness for the configuration reader: the input is the whole file, read by read_config
// through fmemopen. A text value is terminated, and a field changes only to a piece of the file
// without white space, behind its key in the file.
#include <cctype>
#include <string>

#include "fuzz/harness.h"
#include "shell/config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const struct {
        const char* key;
        char* value;
        size_t size;
    } fields[] = {{"icsHost=", icsHost, sizeof icsHost},
                  {"icsHandle=", icsHandle, sizeof icsHandle},
                  {"icsPasswd=", icsPasswd, sizeof icsPasswd}};
    static char file_bytes[1 << 16];
    if (size >= sizeof file_bytes)
        return -1; // not added to the corpus
    for (const auto& f : fields)
        snprintf(f.value, f.size, "sentinel");
    icsPort = -12345;
    memcpy(file_bytes, data, size);
    file_bytes[size] = ' '; // fmemopen refuses a zero size: an empty file is read as one blank
    FILE* file = fmemopen(file_bytes, size == 0 ? 1 : size, "r");
    if (file == nullptr)
        fuzz::fail("fmemopen of %zu bytes: %s", size, strerror(errno));
    read_config(file);
    fclose(file);

    // Behind a zero byte of its token a key is not seen: the file may hold it, the field unchanged.
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    for (const auto& f : fields)
        if (!memchr(f.value, 0, f.size) ||
            (strcmp(f.value, "sentinel") != 0 &&
             (input.find(std::string(f.key) + f.value) == input.npos ||
              std::any_of(f.value, f.value + strlen(f.value),
                          [](unsigned char c) { return isspace(c); }))))
            fuzz::fail("%s\"%.*s\" is no terminated piece of the file without white space behind "
                       "the key",
                       f.key, int(f.size), f.value);
    if (icsPort != -12345 && input.find("icsPort=") == input.npos)
        fuzz::fail("icsPort changed to %d though the file has no \"icsPort=\"", icsPort);
    return 0;
}
