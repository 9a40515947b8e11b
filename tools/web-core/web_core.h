// The web add-in core's C calls (web_core.cpp says what each answers).
#pragma once

#include <cstddef>

extern "C" {
// The platform made ready (the drives, the clock); once, before the rest.
void qv_start();
char* qv_alloc(size_t bytes);
void qv_free(char* block);
// The sheet of a workbook the next review and pass read (by its name, ""
// for the first visible one) and whether its hidden rows are mailed too.
void qv_choose_sheet(const char* listPath, const char* sheetName, int includeHidden);
const char* qv_review(const char* listPath, const char* subject, const char* body, const char* html,
                      const char* sentList);
const char* qv_copy(long index);
const char* qv_first_copy();
const char* qv_next_copy();
size_t qv_answer_size();
}
