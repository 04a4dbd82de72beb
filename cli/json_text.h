// JSON output of harmonyfox-cli, written with nlohmann::json. Paths and tags
// go into values through JsonText, which keeps the lone surrogates that stand
// for bytes that are not UTF-8; DumpJson then writes them as \udcXX escapes,
// which no UTF-8 string can carry. Pure functions; safe on any thread.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

using Json = nlohmann::ordered_json;

// text as a UTF-8 string for a JSON value, with every lone surrogate (and
// every U+0001) carried as U+0001 and four hex digits.
std::string JsonText(std::u16string_view text);

// The document with indent (as nlohmann's dump; -1 for one line), every lone
// surrogate of a JsonText written as \uXXXX.
std::string DumpJson(const Json& value, int indent);

// Parses a document DumpJson wrote (or any JSON): an escape of a lone
// surrogate or of U+0001 is carried as JsonText carries it, so that
// FromJsonText gives the path back. A discarded value when text is not JSON.
Json ParseJson(const std::string& text);

// The inverse of JsonText.
std::u16string FromJsonText(const std::string& text);
