#include "qirEnrichedScanner.h"

#include <cctype>
#include <cstring>

#include "qirEditorTags.h"

qirEnrichedSink::~qirEnrichedSink() {}

void qirScanEnriched(const char* data, size_t n, qirEnrichedSink& sink, size_t paramLimit) {
    int pending = 0, paramDepth = 0, nofillDepth = 0;
    std::string param;
    char name[qirTagNameKept + 1];
    // Where the next ">" is, found once and reused: many "<" without a ">"
    // must not each search the rest of the input.
    size_t nextClose = 0;
    bool closeSearched = false;
    size_t i = 0;
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(data[i++]);
        if (c == '<') {
            if (pending == 1)
                sink.Text(' ');
            pending = 0;
            if (i < n && data[i] == '<') {
                ++i;
                if (paramDepth <= 0)
                    sink.Text('<');
                continue;
            }
            if (!closeSearched || (nextClose != n && nextClose < i)) {
                const void* gt = memchr(data + i, '>', n - i);
                nextClose = gt ? static_cast<size_t>(static_cast<const char*>(gt) - data) : n;
                closeSearched = true;
            }
            if (nextClose == n) {
                if (paramDepth <= 0)
                    sink.Text('<');
                continue;
            }
            size_t len = nextClose - i;
            if (len > static_cast<size_t>(qirTagNameKept))
                len = qirTagNameKept;
            for (size_t k = 0; k < len; ++k)
                name[k] = static_cast<char>(tolower(static_cast<unsigned char>(data[i + k])));
            name[len] = '\0';
            // A NUL inside the name ends it early; such a name matches nothing.
            i = nextClose + 1;
            int code = strlen(name) == len ? TagCode(name) : qirTagUnknown;
            switch (code) {
            case qirTagUnknown:
                break;
            case qirTagParam:
                if (++paramDepth > 0)
                    param.clear();
                break;
            case qirTagParam + qirTagClose:
                if (paramDepth > 0 && --paramDepth == 0)
                    sink.Param(param);
                break;
            case qirTagNoFill:
                ++nofillDepth;
                break;
            case qirTagNoFill + qirTagClose:
                if (nofillDepth > 0)
                    --nofillDepth;
                break;
            default:
                sink.Tag(code);
            }
            continue;
        }
        if (paramDepth > 0) {
            if (param.size() < paramLimit)
                param.push_back(static_cast<char>(c));
            continue;
        }
        if (c == '\n' && nofillDepth < 1) {
            if (++pending > 1)
                sink.Text('\n');
            continue;
        }
        if (pending == 1)
            sink.Text(' ');
        pending = 0;
        sink.Text(c);
    }
}
