#include "MsgEditDock.h"

#include "qirMsg.h"

MsgEditDock::MsgEditDock(qirMsg* message, Window* leader) : message_(message), leader_(leader) {}

MsgEditDock::~MsgEditDock() { close(); }

void MsgEditDock::open() {}

void MsgEditDock::close() {
    delete message_;
    message_ = nullptr;
}
