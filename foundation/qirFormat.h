// Texts filled from formats that come from the configuration or the
// catalogue, and text put into a shell command line.
#ifndef QIR_FORMAT_H
#define QIR_FORMAT_H

#include <string>
#include <vector>

#include "qirString.h"

// printf-like formats are filled here, never by printf: "%s", "%d" and the
// like (flags, width and "l" allowed) take the next argument as text,
// "%%" is a percent sign, a missing argument gives "", and anything else
// after "%" stays as written.
std::string qirFillFormat(const char* format, const std::vector<std::string>& args);
// The number of conversions qirFillFormat would fill in format.
int qirFormatArgumentCount(const char* format);

// text as one word of a shell command: in single quotes, each single quote
// inside written as '\''.  For paths and page text handed to a command
// the user configured; values from a message use qirMailcap::ShellSafe.
qirString qirShellQuote(const char* text);

#endif
