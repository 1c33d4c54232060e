#pragma once

#include <map>
#include <string>
#include <string_view>

// A JSON string literal of raw bytes: valid UTF-8 passes through, every byte that is not part of
// a valid UTF-8 sequence is written as \u00XX of its value, control characters are escaped.
std::string JsonString(std::string_view bytes);
inline const char* JsonBool(bool value) {
    return value ? "true" : "false";
}

// A JSON object of text values, keys in the map's order.
std::string JsonTextObject(const std::map<std::string, std::string>& values);

// Writes the output to standard output; false when it could not be written whole.
bool WriteStdout(const std::string& text);
