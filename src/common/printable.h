// Text from outside the program (a device name, a word of a file) as a message shows it:
// control bytes written as \xHH, so that none reaches a terminal raw and the text is shown
// whole, whatever it holds.
#pragma once

#include <string>
#include <string_view>

inline std::string Printable(std::string_view text) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
        } else {
            shown += c;
        }
    }
    return shown;
}
