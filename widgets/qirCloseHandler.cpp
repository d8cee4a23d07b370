#include "qirCloseHandler.h"

#include "qirTopWindow.h"

qirCloseHandler::qirCloseHandler(qirTopWindow* target) : qirObject(64), target_(target) {}

qirCloseHandler::~qirCloseHandler() {}

bool qirCloseHandler::event(Event&) {
    if (target_)
        (void)target_->close_request();
    return true;
}
