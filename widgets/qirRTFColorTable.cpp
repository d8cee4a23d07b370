#include "qirRTFColorTable.h"

#include "qirError.h"

#include <IV-look/kit.h>
#include <InterViews/color.h>
#include <InterViews/display.h>
#include <InterViews/session.h>

namespace {

const Color* Lookup(const qirString& name) {
    Session* s = Session::instance();
    if (!s || name.IsEmpty())
        return nullptr;
    return Color::lookup(s->default_display(), name.Data());
}

}  // namespace

qirRTFColor::qirRTFColor(const qirString& n) : qirObject(47), color(Lookup(n)), name(n) {
    Resource::ref(color);
}

qirRTFColor::qirRTFColor(const Color* c, const qirString& n) : qirObject(47), color(c), name(n) {
    Resource::ref(color);
}

qirRTFColor::qirRTFColor(const qirRTFColor& other) : qirObject(47), color(other.color), name(other.name) {
    Resource::ref(color);
}

qirRTFColor::~qirRTFColor() { Resource::unref(color); }

// ------------------------------------------------------------ the table

qirRTFColorTable::qirRTFColorTable(qirString defaultName) {
    qirRTFColor* entry = defaultName.IsEmpty() ? nullptr : new qirRTFColor(defaultName);
    if (!entry || !entry->color) {
        delete entry;
        if (qirLog)
            qirLog->Report(qirLogDebug, "Default color: %s undefined.", defaultName.Data() ? defaultName.Data() : "");
        entry = new qirRTFColor(qirString("default"));
    }
    Append(entry);
}

qirRTFColorTable::~qirRTFColorTable() { Remove(nullptr); }

const Color* qirRTFColorTable::DefaultColor() const {
    if (First() && First()->color)
        return First()->color;
    // Never a null colour: text would be drawn with whatever the canvas held.
    return WidgetKit::instance() ? WidgetKit::instance()->foreground() : nullptr;
}

const Color* qirRTFColorTable::ColorOf(const qirRTFColor* entry) const {
    return entry && entry->color ? entry->color : DefaultColor();
}

const qirRTFColor* qirRTFColorTable::FindEntry(const char* name) {
    qirString wanted(name ? name : "");
    for (qirRTFColor* e = First(); e; e = static_cast<qirRTFColor*>(qirList::Next(e)))
        if (e->name == wanted)
            return e;
    if (!unknown_.count(wanted.Data())) {
        qirRTFColor* entry = new qirRTFColor(wanted);
        if (entry->color) {
            Append(entry);
            return entry;
        }
        delete entry;
        // Looked up and reported once: the display is asked no more.
        unknown_.insert(wanted.Data());
        if (qirLog)
            qirLog->Report(qirLogDebug, "Undefined color %s - using default !", wanted.Data());
    }
    return First();
}

int qirRTFColorTable::SetDefault(const qirString& name) {
    qirRTFColor* entry = new qirRTFColor(name);
    if (!entry->color) {
        delete entry;
        return -1;
    }
    entry->name = "default";
    if (First())
        Remove(First());
    InsertBefore(entry, qirList::First());
    return 0;
}
