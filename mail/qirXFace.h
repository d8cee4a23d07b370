// A 48x48 black-and-white sender picture, held as the X-Face text of the
// header, as one byte per pixel and as two packed rasters (PBM order for
// files, XBM order for window bitmaps).  Compression and uncompression are
// done by the compface library.
#ifndef QIR_XFACE_H
#define QIR_XFACE_H

#include <string>

#include "qirObject.h"

enum {
    qirXFaceSize = 48,
    qirXFacePixels = qirXFaceSize * qirXFaceSize,
    qirXFaceRasterBytes = qirXFacePixels / 8, // 288
    // Longest X-Face text accepted.  A valid face needs at most about 700
    // printable characters (compface's big number has 576 bytes); the rest
    // leaves room for header folding.  Longer text is refused before it
    // reaches the library, whose buffers are of fixed size.
    qirXFaceMaxText = 2048,
};

class qirXFace : public qirObject {
public:
    // An empty picture.
    qirXFace();
    // Takes the other picture's X-Face text; a copy of an empty picture is empty.
    qirXFace(const qirXFace& other);
    qirXFace& operator=(const qirXFace& other);
    ~qirXFace() override;

    // The X-Face text; null when empty.
    const char* Text() const;
    // The 288-byte XBM raster (leftmost pixel in bit 0); null when empty.
    const unsigned char* XbmBits() const;
    // The 288-byte PBM raster (leftmost pixel in bit 7); null when empty.
    const unsigned char* PbmBits() const;
    // One byte per pixel, 1 = black, row by row; null when empty.
    const unsigned char* Bitmap() const;
    int IsEmpty() const { return empty_; }

    // Null: nothing.  Otherwise the text is uncompressed into the bitmap and
    // both rasters are rebuilt: 0.  Text that is empty, longer than
    // qirXFaceMaxText, holds bytes that are neither printable ASCII nor
    // blanks and line ends, or that the library refuses, leaves the picture
    // empty: -1.
    int SetText(const char* text);
    // Makes the picture empty.
    void Clear();

    // Reads a 48x48 binary PBM ("P4"); the picture comes from the X-Face
    // text compressed from it.  0; -7 cannot open; -1 not such a PBM, a short
    // raster, a read error or a failed compression (the picture then empty).
    int ReadPBM(const char* path);
    // Replaces the file with "P4\n48 48\n" and the PBM raster: 0; -6 for an
    // empty picture (the file is then replaced by an empty one); -7 the file
    // cannot be made; -12 a write failed (the old file is left as it was).
    int WritePBM(const char* path) const;

private:
    void RebuildRasters();
    int Compress(); // bitmap -> text_, through the library

    int empty_ = 1;
    unsigned char bitmap_[qirXFacePixels];
    unsigned char pbm_[qirXFaceRasterBytes];
    unsigned char xbm_[qirXFaceRasterBytes];
    std::string text_;
};

#endif
