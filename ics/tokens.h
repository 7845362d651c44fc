// Reading white-space-separated tokens out of a server line into fixed fields.
#pragma once

constexpr bool is_white_space(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

constexpr bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// The text from its first byte that is not white space.
const char* skip_white_space(const char* text);

// Skips white space and reads the next token (the longest run without white space) into field,
// cut to field_bytes - 1 characters and terminated. Returns the text behind the whole token, or
// nullptr (field untouched) when the text has no further token.
const char* read_text_token(const char* text, char* field, int field_bytes);

// Skips white space and reads the next token as a signed decimal number: it fits when it begins
// with an optional sign and a digit and its leading digits stay within a 32-bit int; the rest of
// the token is ignored. Returns the text behind the token, or nullptr (number untouched) when
// there is no token or it does not fit.
const char* read_number_token(const char* text, int* number);
