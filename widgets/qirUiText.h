// Catalogue texts for files that include InterViews, whose macros rename
// the catalogue's Text operation.
#ifndef QIR_UI_TEXT_H
#define QIR_UI_TEXT_H

// The text of the number in the selected catalogue, "-????-" when absent.
const char* qirUiText(int number);

#endif
