// Token readers for server lines: bounded copies, no number can overflow.
#include "ics/tokens.h"

#include <climits>

namespace {

const char* skip_token(const char* text)
{
    while (*text != 0 && !is_white_space(*text))
        ++text;
    return text;
}

} // namespace

const char* skip_white_space(const char* text)
{
    while (*text != 0 && is_white_space(*text))
        ++text;
    return text;
}

const char* read_text_token(const char* text, char* field, int field_bytes)
{
    text = skip_white_space(text);
    if (*text == 0)
        return nullptr;
    int length = 0;
    for (; text[length] != 0 && !is_white_space(text[length]) && length < field_bytes - 1; ++length)
        field[length] = text[length];
    field[length] = 0;
    return skip_token(text + length);
}

const char* read_number_token(const char* text, int* number)
{
    text = skip_white_space(text);
    const char* digits = text + (*text == '-' || *text == '+' ? 1 : 0);
    if (!is_digit(*digits))
        return nullptr;
    const bool negative = *text == '-';
    const long long limit = negative ? -(long long)INT_MIN : INT_MAX;
    long long value = 0;
    for (; is_digit(*digits); ++digits) {
        value = value * 10 + (*digits - '0');
        if (value > limit)
            return nullptr;
    }
    *number = int(negative ? -value : value);
    return skip_token(digits);
}
