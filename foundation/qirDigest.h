// A 64-bit digest of a byte stream, the same however the stream is cut into
// pieces.  It tells two texts apart (a fetch history proves with it that a
// message at the source is the one stored before); it is no protection
// against someone who crafts collisions, and is not meant to be.  Four
// independent lanes keep it near the speed of memory.
#ifndef QIR_DIGEST_H
#define QIR_DIGEST_H

#include <cstddef>
#include <cstdint>
#include <cstring>

class qirDigest {
public:
    void Add(const char* data, size_t n)
    {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
        total_ += n;
        if (tailLength_) {
            size_t take = sizeof tail_ - tailLength_ < n ? sizeof tail_ - tailLength_ : n;
            memcpy(tail_ + tailLength_, p, take);
            tailLength_ += take;
            p += take;
            n -= take;
            if (tailLength_ < sizeof tail_) return;
            Block(tail_);
            tailLength_ = 0;
        }
        for (; n >= sizeof tail_; p += sizeof tail_, n -= sizeof tail_) Block(p);
        memcpy(tail_, p, n);
        tailLength_ = n;
    }
    // The digest of everything added so far; adding may go on.
    uint64_t Value() const
    {
        uint64_t h = total_ * k1;
        for (int i = 0; i < 4; ++i) h = Mix(h ^ Mix(lane_[i], 0), static_cast<uint64_t>(i));
        for (size_t i = 0; i < tailLength_; ++i) h = Mix(h, tail_[i]);
        h ^= h >> 33;
        h *= k2;
        h ^= h >> 29;
        return h;
    }
    uint64_t Length() const { return total_; }

private:
    static const uint64_t k1 = 0x9E3779B97F4A7C15ULL;
    static const uint64_t k2 = 0xC2B2AE3D27D4EB4FULL;
    static uint64_t Rotate(uint64_t v, int r) { return (v << r) | (v >> (64 - r)); }
    static uint64_t Mix(uint64_t h, uint64_t w) { return Rotate(h ^ (w * k2), 31) * k1; }
    void Block(const unsigned char* p)
    {
        for (int i = 0; i < 4; ++i) {
            uint64_t w;
            memcpy(&w, p + 8 * i, 8);
            lane_[i] = Mix(lane_[i], w);
        }
    }
    uint64_t lane_[4] = {k1, k2, k1 ^ 0x165667B19E3779F9ULL, k2 ^ 0x27D4EB2F165667C5ULL};
    unsigned char tail_[32];
    size_t tailLength_ = 0;
    uint64_t total_ = 0;
};

#endif
