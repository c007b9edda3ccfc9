// UTF-16 texts, as the window model and the dialogs keep them, to and from the UTF-8 that the
// Linux libraries and files take. Invalid sequences and lone surrogates become U+FFFD.
#pragma once
#include <string>
#include <string_view>

namespace nuv::host::utf16 {

std::string to_utf8(std::u16string_view text);
std::u16string from_utf8(std::string_view text);

}  // namespace nuv::host::utf16
