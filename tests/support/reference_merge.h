// The mail merge written the plain way, field by field, exactly as its rules
// read and with nothing made faster: the reference the product's merge must
// equal byte for byte, failures included (the differential test, the fuzz
// target and the benchmark use it).
#pragma once

#include "data/mailing_list.h"

int ReferenceMergeFields(char* text, int capacity, const ListRecord* header,
                         const ListRecord* record, int* need);
// The same with a ceiling on the measured size other than kMergeMaximumNeed.
int ReferenceMergeFieldsWithin(char* text, int capacity, const ListRecord* header,
                               const ListRecord* record, int* need, int maximumNeed);
const char* ReferenceFindNoCase(const char* haystack, const char* needle);
