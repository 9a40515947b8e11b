// Internal to the reader: the address of a value that lies in a record's
// block (the public calls are in mailing_list.h).
#pragma once

// TakeListAddress for a value in a record's block, which keeps more than 64
// bytes readable after the last line's copy: read 32 bytes at a time.
int TakeRecordAddress(char* value, char* address);
