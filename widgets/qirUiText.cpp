#include "qirUiText.h"

#include "qirLanguageGroup.h"

const char* qirUiText(int number) {
    return qirLanguage.Text(number);
}
