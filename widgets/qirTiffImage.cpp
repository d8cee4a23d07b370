#include "qirTiffImage.h"

#include <InterViews/raster.h>
#include <tiffio.h>

#include <cstdint>
#include <vector>

namespace {

// Bounds the buffer for a hostile or broken header (64 M pixels, 256 MB).
const uint64_t maxPixels = uint64_t(1) << 26;

// The caller reports a missing image itself; keep libtiff off stderr.
struct QuietTiff {
    TIFFErrorHandler error = TIFFSetErrorHandler(nullptr);
    TIFFErrorHandler warning = TIFFSetWarningHandler(nullptr);
    ~QuietTiff() {
        TIFFSetErrorHandler(error);
        TIFFSetWarningHandler(warning);
    }
};

}  // namespace

Raster* qirTiffImage::Load(const char* path) {
    if (!path || !*path)
        return nullptr;
    QuietTiff quiet;
    TIFF* tif = TIFFOpen(path, "r");
    if (!tif)
        return nullptr;
    uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0 || uint64_t(width) * height > maxPixels) {
        TIFFClose(tif);
        return nullptr;
    }
    std::vector<uint32_t> pixels(size_t(width) * height);
    // Bottom-left orientation: row 0 is the bottom, as in a Raster.
    int ok = TIFFReadRGBAImageOriented(tif, width, height, pixels.data(), ORIENTATION_BOTLEFT, 0);
    TIFFClose(tif);
    if (!ok)
        return nullptr;
    Raster* raster = new Raster(width, height);
    for (uint32_t y = 0; y < height; y++) {
        const uint32_t* row = &pixels[size_t(y) * width];
        for (uint32_t x = 0; x < width; x++) {
            uint32_t p = row[x];
            raster->poke(x, y, TIFFGetR(p) / 255.0f, TIFFGetG(p) / 255.0f, TIFFGetB(p) / 255.0f,
                         TIFFGetA(p) / 255.0f);
        }
    }
    raster->flush();
    return raster;
}
