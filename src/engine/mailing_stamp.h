// The mailing's id on the composed message itself, so that the message is
// known as the same mailing whatever the user does to its subject or to
// the list's file, and another message of the same subject is not. It is a
// named string property of the public set (PS_PUBLIC_STRINGS, "Quorvel
// Mailing"), which the store keeps with the draft when the message is saved
// (IMAPIProp::SaveChanges; an Outlook item's UserProperties live in the
// same set). Copies made of the message carry it as well; it never leaves
// the store, since the copies go out without TNEF.
#pragma once

#include "platform.h"

#include <cstddef>

// The id the message carries into `id` (at most `size` bytes, NUL
// included); false when it carries none, or the store cannot tell. `tag`
// gets the property's tag on this store (the name mapped once, here), or 0
// when the store refused it.
bool ReadMailingStamp(IUnknown* message, char* id, size_t size, ULONG* tag);

// Gives the message the id under the tag Read found, and saves it. False
// when the store refused: the mailing is then known by its list and subject
// alone, as before.
bool WriteMailingStamp(IUnknown* message, ULONG tag, const char* id);

// A new mailing's id: the moment, the clock's tick and what the mailing is
// made of, so that two mailings of one machine never share one.
void NewMailingId(const char* listPath, const char* subject, char* id, size_t size);
