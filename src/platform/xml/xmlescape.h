#pragma once

// What the writers put for a character that cannot stand as it is.

namespace xmlimpl {

// The reference for `c`: the markup characters and CR always; in an attribute value written
// between `quote`s also the other white space (which a reader would turn into spaces) and that
// quote. nullptr when `c` is written as it is.
inline const char* referenceFor(char c, char quote = 0) {
    switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '\r': return "&#13;";
    case '\n': return quote ? "&#10;" : nullptr;
    case '\t': return quote ? "&#9;" : nullptr;
    case '"': return quote == '"' ? "&quot;" : nullptr;
    case '\'': return quote == '\'' ? "&apos;" : nullptr;
    default: return nullptr;
    }
}

} // namespace xmlimpl
