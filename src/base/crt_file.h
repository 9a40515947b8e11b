// An open C runtime stream, owned: closed when its owner goes, whatever path
// the code took to get there.
#pragma once

#include "platform.h"

class CrtFileRef {
public:
    CrtFileRef() = default;
    explicit CrtFileRef(CrtFile* file) : file_(file) {}
    CrtFileRef(const CrtFileRef&) = delete;
    CrtFileRef& operator=(const CrtFileRef&) = delete;
    CrtFileRef(CrtFileRef&& other) noexcept : file_(other.file_) { other.file_ = nullptr; }
    CrtFileRef& operator=(CrtFileRef&& other) noexcept {
        if (this != &other) {
            Close();
            file_ = other.file_;
            other.file_ = nullptr;
        }
        return *this;
    }
    ~CrtFileRef() { Close(); }

    CrtFile* Get() const { return file_; }
    explicit operator bool() const { return file_ != nullptr; }
    void Close() {
        if (file_)
            CrtClose(file_);
        file_ = nullptr;
    }

private:
    CrtFile* file_ = nullptr;
};
