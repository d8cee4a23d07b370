#include "qirDrawLog.h"

#include <algorithm>
#include <cstdio>

namespace {

bool Inside(int x, int y, int left, int top, unsigned w, unsigned h) {
    return x >= left && y >= top && x < left + (long)w && y < top + (long)h;
}

} // namespace

void qirDrawLog::Update() {
    FILE* f = fopen(path_.c_str(), "r");
    if (!f)
        return;
    std::string chunk;
    if (fseek(f, offset_, SEEK_SET) == 0) {
        char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            chunk.append(buf, n);
    }
    fclose(f);
    // The program may be in the middle of a line: that waits for next time.
    size_t end = chunk.rfind('\n');
    if (end == std::string::npos)
        return;
    offset_ += (long)end + 1;
    size_t start = 0;
    while (start <= end) {
        size_t nl = chunk.find('\n', start);
        Apply(chunk.substr(start, nl - start));
        start = nl + 1;
    }
}

void qirDrawLog::Apply(const std::string& line) {
    if (line.size() < 2)
        return;
    if (line[0] == 'T') {
        unsigned long d;
        int x, y, used = 0;
        if (sscanf(line.c_str(), "T %lu %d %d%n", &d, &x, &y, &used) != 3 || used >= (int)line.size())
            return;
        // One blank follows the position; the text may start with its own.
        std::string text = line.substr(used + 1);
        size_t first = text.find_first_not_of(' ');
        if (first == std::string::npos)
            return; // blanks leave no trace
        text = text.substr(first, text.find_last_not_of(' ') - first + 1);
        std::vector<Text>& in = texts_[d];
        in.erase(std::remove_if(in.begin(), in.end(), [&](const Text& t) { return t.x == x && t.y == y; }), in.end());
        in.push_back({x, y, text});
        return;
    }
    char kind;
    unsigned long src, dst;
    int sx, sy, dx, dy;
    unsigned w, h;
    if (sscanf(line.c_str(), "%c %lu %lu %d %d %u %u %d %d", &kind, &src, &dst, &sx, &sy, &w, &h, &dx, &dy) != 9)
        return;
    std::vector<Text> carried;
    if (kind == 'C') {
        for (const Text& t : texts_[src])
            if (Inside(t.x, t.y, sx, sy, w, h))
                carried.push_back({t.x - sx + dx, t.y - sy + dy, t.text});
        copiedTo_.insert(dst);
    } else if (kind != 'F') {
        return;
    }
    std::vector<Text>& in = texts_[dst];
    in.erase(std::remove_if(in.begin(), in.end(), [&](const Text& t) { return Inside(t.x, t.y, dx, dy, w, h); }),
             in.end());
    in.insert(in.end(), carried.begin(), carried.end());
}

std::vector<qirDrawnLine> qirDrawLog::Words(unsigned long drawable) const {
    auto found = texts_.find(drawable);
    if (found == texts_.end())
        return {};
    std::vector<qirDrawnLine> words;
    for (const Text& t : found->second)
        words.push_back({t.x, t.y, t.text});
    std::stable_sort(words.begin(), words.end(),
                     [](const qirDrawnLine& a, const qirDrawnLine& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    return words;
}

std::vector<qirDrawnLine> qirDrawLog::Lines(unsigned long drawable) const {
    std::vector<qirDrawnLine> lines;
    for (const qirDrawnLine& t : Words(drawable)) {
        if (!lines.empty() && lines.back().y == t.y)
            lines.back().text += " " + t.text;
        else
            lines.push_back(t);
    }
    return lines;
}
