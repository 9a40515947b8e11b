// Numbers typed into the dialogs' fields.
#pragma once

// The leading decimal number of a text: blanks skipped, an optional sign,
// then digits up to the first other character; a text without digits reads
// as 0. A number beyond the int range saturates to its nearest end.
int ReadDecimalField(const char* text);
