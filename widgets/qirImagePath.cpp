#include "qirImagePath.h"

#include <string>

#ifndef QIR_DATA_PREFIX
#define QIR_DATA_PREFIX "/usr/local/lib"
#endif

qirString qirImagePath(const char* file) {
    std::string path = std::string(QIR_DATA_PREFIX) + "/QIR/Images/" + (file ? file : "");
    return qirString(path.c_str());
}
