#include "data/merged_texts.h"

#include "data/merge.h"

#include <cstring>

bool MergeBuffer::Resize(size_t bytes) {
    void* grown = MemRealloc(text_, bytes);
    if (!grown)
        return false;
    text_ = static_cast<char*>(grown);
    return true;
}

void MergeBuffer::Free() {
    MemFree(text_);
    text_ = nullptr;
}

MergeResult MergeRecord(const char* original, const ListRecord& header, const ListRecord& record,
                        bool html, OwnedRecord* escaped, MergeBuffer* merged) {
    auto* fields = const_cast<ListRecord*>(&header);
    auto* values = const_cast<ListRecord*>(&record);
    // The measure is at most kMergeMaximumNeed, so need + 10 and need + 1
    // cannot overflow; a measure that would not hold the original itself
    // fails like any merge rather than being copied into.
    auto mergeInto = [&](char* text, int capacity, int* need) {
        return html ? MergeHtmlFields(text, capacity, fields, values, escaped, need)
                    : MergeFields(text, capacity, fields, values, need);
    };
    if (html && !EscapeHtmlValues(values, escaped))
        return MergeResult::NoMemory;
    int need = 0;
    const size_t length = std::strlen(original);
    if (mergeInto(const_cast<char*>(original), 0, &need) != 1 || need < kMergeMinimumNeed ||
        need > kMergeMaximumNeed || length >= static_cast<size_t>(need))
        return MergeResult::Failed;
    if (!merged->Resize(static_cast<size_t>(need) + 10))
        return MergeResult::NoMemory;
    std::memcpy(merged->Get(), original, length + 1);
    return mergeInto(merged->Get(), need + 1, nullptr) == 1 ? MergeResult::Merged
                                                            : MergeResult::Failed;
}

void MergedTexts::SetOriginal(const char* subject, const char* body, const char* html) {
    originalSubject_ = subject;
    originalBody_ = body;
    html_ = html;
}

bool MergedTexts::Reserve(bool withHtml) {
    return subject_.Resize(std::strlen(originalSubject_) + 1) &&
           body_.Resize(std::strlen(originalBody_) + 1) &&
           (!withHtml || !html_ || htmlBody_.Resize(std::strlen(html_) + 1));
}

MergeResult MergedTexts::MergeForPreview(const ListRecord& header, const ListRecord& record) {
    MergeResult result = MergeRecord(originalSubject_, header, record, false, &escaped_, &subject_);
    if (result == MergeResult::Merged) {
        FlattenSubjectLines(subject_.Get());
        result = MergeRecord(originalBody_, header, record, false, &escaped_, &body_);
    }
    return result;
}

MergeResult MergedTexts::Merge(const ListRecord& header, const ListRecord& record) {
    MergeResult result = MergeForPreview(header, record);
    if (result == MergeResult::Merged && html_)
        result = MergeRecord(html_, header, record, true, &escaped_, &htmlBody_);
    return result;
}

bool MergedTexts::MarkSubject(const char* mark) {
    const size_t merged = std::strlen(subject_.Get());
    const size_t markLength = std::strlen(mark);
    if (!subject_.Resize(merged + markLength + 1))
        return false;
    std::memmove(subject_.Get() + markLength, subject_.Get(), merged + 1);
    std::memcpy(subject_.Get(), mark, markLength);
    return true;
}
