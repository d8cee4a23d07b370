// Mail headers before InterViews: its macros rename common words.
#include "qirMsgViewText.h"
#include "qirMainWindow.h"
#include "AttachItem.h"

#include "qirChildProcess.h"
#include "qirError.h"
#include "qirIconImage.h"
#include "qirTiffImage.h"
#include "qirUtilities.h"

#include <cstring>
#include <map>
#include <string>

#include <InterViews/raster.h>

namespace {

// The icon of each file, read once: a list of five hundred attachments
// reads seven files at most.  Null for a file that cannot be read.
Raster* TypeIconOf(const char* file)
{
    // Never destroyed: the rasters it holds are the session's.
    static std::map<std::string, Raster*>& icons = *new std::map<std::string, Raster*>;
    auto known = icons.find(file);
    if (known != icons.end()) return known->second;
    qirString path = qirInstalledImage(qirString("/usr/local/lib/QIR/Images/").Concat(file));
    Raster* raster = qirTiffImage::Load(path.Data());
    // Kept for the session.
    Resource::ref(raster);
    icons[file] = raster;
    return raster;
}

} // namespace

AttachItem::AttachItem(const qirMsgComponent& part, Window* window)
    : qirMsgComponent(part), window_(window), partSize_(const_cast<qirMsgComponent&>(part).Size())
{
    typeIcon_ = TypeIconOf(qirMsgViewText::AttachIconFile(contentType_.type.Data()));
}

AttachItem::~AttachItem() {}

void AttachItem::Label(char* buffer, size_t size)
{
    if (!buffer || size == 0) return;
    std::string text = qirMsgViewText::AttachLabel(contentType_, partSize_);
    // Whole characters only: the label draws the bytes it is given.
    size_t n = text.size() < size ? text.size() : size - 1;
    while (n > 0 && n < text.size() && ((unsigned char)text[n] & 0xC0) == 0x80) n--;
    memcpy(buffer, text.data(), n);
    buffer[n] = 0;
}

qirString AttachItem::Label()
{
    return qirString(qirMsgViewText::AttachLabel(contentType_, partSize_).c_str());
}

qirString AttachItem::ProposedName() const { return path_->Basename(); }

int AttachItem::SaveTo(const char* file, int append)
{
    const char* from = path_->Data();
    int r = append ? qirAppendFile(from, file) : CopyToPath(file);
    if (r != 0) {
        if (qirLog) qirLog->Report(qirLogError, "Error writing to file!");
        return -1;
    }
    return 0;
}

int AttachItem::Save()
{
    if (!qirApp) return 0;
    qirString file = ProposedName();
    int append = 0;
    qirApp->SaveFileDialog(&file, &append, window_);
    if (file.IsEmpty()) return 0;
    return SaveTo(file.Data(), append);
}

int AttachItem::View()
{
    qirString command = qirApp ? qirApp->Mailcap()->ViewCommand(*this) : qirString("");
    command.TrimRight();
    if (command.IsEmpty()) {
        if (qirLog) qirLog->Report(qirLogError, "No program for this type. Edit your mailcap file.");
        return -1;
    }
    return qirChildProcess::Start(command, nullptr, 0, nullptr);
}
