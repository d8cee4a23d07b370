#include "qirRTFStyle.h"

const char* const qirRTFStyleNodes[8] = {"Normal",      "Fixed",        "Bold",        "Bold_Fixed",
                                         "Italic",      "Italic_Fixed", "Italic_Bold", "Italic_Bold_Fixed"};
