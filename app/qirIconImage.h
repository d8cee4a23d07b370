// Pictures of the application windows: TIFF files drawn at a fixed size,
// and the shipped images wherever the data was installed.
#ifndef QIR_ICON_IMAGE_H
#define QIR_ICON_IMAGE_H

#include "qirString.h"

#include <InterViews/enter-scope.h>

class Glyph;

// The TIFF file drawn scaled to width by height points (each axis by the
// size divided by the raster's own), or null when it cannot be read.
// When keepExact is set, a raster already of that size in pixels is drawn
// as it is.
Glyph* qirScaledImage(const char* path, float width, float height, int keepExact = 0);

// Folders and messages name the shipped pictures by their installed
// place; a build that installs elsewhere finds them under its own prefix.
qirString qirInstalledImage(const qirString& path);

#endif
