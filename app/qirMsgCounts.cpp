#include "qirMsgCounts.h"

void qirMsgCounts::Add(Mark* mark, int read, int deleted, int selected)
{
    if (!mark || mark->counted) return;
    mark->read = read != 0;
    mark->deleted = deleted != 0;
    mark->selected = selected != 0;
    mark->counted = 1;
    read_ += mark->read;
    deleted_ += mark->deleted;
    selected_ += mark->selected;
    rows_++;
}

void qirMsgCounts::Remove(Mark* mark)
{
    if (!mark || !mark->counted) return;
    read_ -= mark->read;
    deleted_ -= mark->deleted;
    selected_ -= mark->selected;
    rows_--;
    mark->counted = 0;
}

void qirMsgCounts::Update(Mark* mark, int read, int deleted)
{
    if (!mark || !mark->counted) return;
    read = read != 0;
    deleted = deleted != 0;
    read_ += read - mark->read;
    deleted_ += deleted - mark->deleted;
    mark->read = read;
    mark->deleted = deleted;
}

void qirMsgCounts::UpdateSelected(Mark* mark, int selected)
{
    if (!mark || !mark->counted) return;
    selected = selected != 0;
    selected_ += selected - mark->selected;
    mark->selected = selected;
}
