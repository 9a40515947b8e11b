// Names as hosts and command lines give them: wide text compared with an
// ASCII name, the letters A to Z without case (a host's name lookup does
// that; "USER" is "user" to regsvr32's callers).
#pragma once

#include "platform.h"

inline bool SameAsciiName(const WCHAR* wide, const char* ascii) {
    if (!wide)
        return false;
    for (;; ++wide, ++ascii) {
        WCHAR a = *wide;
        char b = *ascii;
        if (a >= 'A' && a <= 'Z')
            a = static_cast<WCHAR>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = static_cast<char>(b - 'A' + 'a');
        if (a != static_cast<WCHAR>(static_cast<unsigned char>(b)))
            return false;
        if (b == 0)
            return true;
    }
}
