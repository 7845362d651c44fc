// The configuration file reader.
#include "shell/config.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <string_view>

char icsHost[kHostBytes];
char icsHandle[kHandleBytes];
char icsPasswd[kPasswdBytes];
int icsPort;

namespace {

// Reads the next whitespace-separated token into token (at most size - 1 characters kept; the
// rest of a longer token is skipped so it can never pose as a token of its own). Returns false
// at the end of the file.
bool next_token(FILE* file, char* token, size_t size)
{
    int c;
    do {
        c = getc(file);
    } while (c != EOF && isspace(c));
    if (c == EOF)
        return false;
    size_t length = 0;
    while (c != EOF && !isspace(c)) {
        if (length + 1 < size)
            token[length++] = static_cast<char>(c);
        c = getc(file);
    }
    token[length] = '\0';
    return true;
}

// The value behind key in token, or nullptr when the key is not in it.
const char* value_after(const char* token, std::string_view key)
{
    const size_t at = std::string_view(token).find(key);
    return at == std::string_view::npos ? nullptr : token + at + key.size();
}

// A decimal number at the start of text, as "%d" reads it, clamped to the int range.
bool parse_port(const char* text, int* port)
{
    char* end = nullptr;
    long value = strtol(text, &end, 10);
    if (end == text)
        return false;
    if (value > INT_MAX)
        value = INT_MAX;
    if (value < INT_MIN)
        value = INT_MIN;
    *port = static_cast<int>(value);
    return true;
}

void apply_token(const char* token)
{
    if (const char* v = value_after(token, "icsHost="))
        snprintf(icsHost, sizeof icsHost, "%s", v);
    if (const char* v = value_after(token, "icsPort="))
        parse_port(v, &icsPort);
    if (const char* v = value_after(token, "icsHandle="))
        snprintf(icsHandle, sizeof icsHandle, "%s", v);
    if (const char* v = value_after(token, "icsPasswd="))
        snprintf(icsPasswd, sizeof icsPasswd, "%s", v);
}

} // namespace

void read_config(FILE* file)
{
    char token[kConfigTokenBytes];
    while (next_token(file, token, sizeof token))
        apply_token(token);
}

void read_config_file()
{
    FILE* file = fopen(kConfigPath, "r");
    if (!file)
        return;
    read_config(file);
    fclose(file);
}
