// A number as a spreadsheet cell shows it under its number format: General,
// fixed decimals, thousands separators, percent, scientific (the engineering
// form too), fractions, and the date and time formats (built in or the
// workbook's own), in the workbook's date system. The forms are the en-US
// ones a spreadsheet program shows: "." for decimals, "," for thousands,
// English month and day names. A format whose display this code cannot
// reproduce (a condition, a text run the number is spread over, a date
// before the date system begins) gives the General form, and says so, for
// the review to name the cell.
#pragma once

#include <string>

// The format a cell's style gives its number: a built-in id (0 to 49) when
// code is empty, else the workbook's own code.
struct NumberFormat {
    int id = 0;
    std::string code;
};

// The format code of a built-in id, or "" for General and for the ids that
// depend on the reader's locale and are shown as General.
const char* BuiltInFormatCode(int id);

// True when the format shows a date or a time: the list's text then holds
// the formatted date, never the serial number.
bool IsDateFormat(const NumberFormat& format);

// Writes value as the format shows it into out. Returns false when the
// format could not be reproduced (out then holds the General form).
bool FormatCellNumber(double value, const NumberFormat& format, bool date1904, std::string* out);

// The General form: up to 15 significant digits, no trailing zeros, and the
// exponent form for magnitudes from 1e15 and below 1e-9.
std::string GeneralNumber(double value);
