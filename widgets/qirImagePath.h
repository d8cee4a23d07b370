// Where the shipped images live: "Images/" under the installed data.
#ifndef QIR_IMAGE_PATH_H
#define QIR_IMAGE_PATH_H

#include "qirString.h"

// The full path of an image shipped with the program, e.g. "warning.tif".
qirString qirImagePath(const char* file);

#endif
