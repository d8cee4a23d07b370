#include "qirIconImage.h"

#include "qirImagePath.h"
#include "qirTiffImage.h"

#include <cstring>
#include <unistd.h>

#include <InterViews/image.h>
#include <InterViews/raster.h>
#include <InterViews/tformsetter.h>
#include <InterViews/transformer.h>

namespace {
const char installedImages[] = "/usr/local/lib/QIR/Images/";
}

Glyph* qirScaledImage(const char* path, float width, float height, int keepExact) {
    Raster* raster = path && *path ? qirTiffImage::Load(path) : nullptr;
    if (!raster)
        return nullptr;
    Image* image = new Image(raster);
    if (keepExact && raster->pwidth() == (unsigned long)width && raster->pheight() == (unsigned long)height)
        return image;
    Transformer t;
    if (raster->width() > 0 && raster->height() > 0)
        t.scale(width / raster->width(), height / raster->height());
    return new TransformSetter(image, t);
}

qirString qirInstalledImage(const qirString& path) {
    const char* p = path.Data();
    size_t n = sizeof installedImages - 1;
    if (!p || strncmp(p, installedImages, n) != 0 || access(p, F_OK) == 0)
        return path;
    return qirImagePath(p + n);
}
