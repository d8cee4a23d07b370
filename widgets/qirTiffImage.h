// Reads TIFF images into InterViews rasters with the system libtiff.
// InterViews' own TIFFRaster is broken on this platform and is never used.
#ifndef QIR_TIFF_IMAGE_H
#define QIR_TIFF_IMAGE_H

#include <InterViews/enter-scope.h>

class Raster;

class qirTiffImage {
public:
    // A new raster of the file's first image (no reference taken: the
    // caller refs it), or null when the file cannot be read as a TIFF.
    // Needs the InterViews session to exist.
    static Raster* Load(const char* path);
};

#endif
