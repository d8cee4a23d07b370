// The X-Face field of a test message made from a picture.  Include it
// before any InterViews header: they rename words it uses.
#ifndef QIR_XFACE_TEXT_H
#define QIR_XFACE_TEXT_H

#include "qirXFace.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

// The X-Face field value of a 48x48 picture given as its PBM raster (48
// rows of 6 bytes, the top row first), folded as a header field continues;
// "" when it cannot be made.
inline std::string XFaceFieldText(const std::string& raster)
{
    std::string path = "/tmp/qir-face-" + std::to_string(getpid()) + ".pbm";
    FILE* f = fopen(path.c_str(), "w");
    if (!f) return "";
    fputs("P4\n48 48\n", f);
    fwrite(raster.data(), 1, raster.size(), f);
    fclose(f);
    qirXFace face;
    face.ReadPBM(path.c_str());
    unlink(path.c_str());
    std::string text = face.Text() ? face.Text() : "";
    for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) text.insert(at + 1, " ");
    while (!text.empty() && strchr(" \n", text.back())) text.pop_back();
    return text;
}

#endif
