#include "dialogs/decimal_field.h"

#include <climits>

int ReadDecimalField(const char* text) {
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f')
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    // Counted past the int range no further than one step beyond it.
    long long value = 0;
    const long long limit = static_cast<long long>(INT_MAX) + 1;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > limit)
            value = limit;
    }
    if (negative)
        return value >= limit ? INT_MIN : static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}
