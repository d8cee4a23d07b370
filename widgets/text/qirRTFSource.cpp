#include "qirRTFSource.h"

#include <cstring>
#include <utility>

void qirRTFSource::SetStream(FILE* f) {
    stream_ = f;
    text_ = nullptr;
    length_ = position_ = 0;
}

void qirRTFSource::SetText(const char* s) { SetText(s, s ? strlen(s) : 0); }

void qirRTFSource::SetText(const char* s, size_t n) {
    stream_ = nullptr;
    text_ = s;
    length_ = s ? n : 0;
    position_ = 0;
}

int qirRTFSource::NextChar() {
    if (stream_) {
        int c = getc(stream_);
        return c == EOF ? -1 : c;
    }
    if (!text_ || position_ >= length_)
        return -1;
    return static_cast<unsigned char>(text_[position_++]);
}

void qirRTFSource::Unget(int c) {
    if (c < 0)
        return;
    if (stream_)
        ungetc(c, stream_);
    else if (text_ && position_ > 0)
        --position_;
}

void qirRTFSource::TakeText(std::string&& text) {
    owned_ = std::move(text);
    SetText(owned_.data(), owned_.size());
}

void qirRTFSource::ReadAll(std::string& out) {
    if (text_ && text_ == owned_.data() && position_ == 0 && out.empty()) {
        out.swap(owned_);
        SetText(nullptr, 0);
        return;
    }
    if (stream_) {
        char buf[65536];
        size_t got;
        while ((got = fread(buf, 1, sizeof buf, stream_)) > 0)
            out.append(buf, got);
        return;
    }
    if (text_ && position_ < length_) {
        out.append(text_ + position_, length_ - position_);
        position_ = length_;
    }
}
