// The colours of the enriched-text viewer: the default text colour first,
// then every name already looked up.  Shared by the view and its engine
// through the InterViews reference count.  The editor keeps its own.
#ifndef QIR_RTF_COLOR_TABLE_H
#define QIR_RTF_COLOR_TABLE_H

#include "qirList.h"
#include "qirString.h"

#include <InterViews/resource.h>

#include <set>
#include <string>

class Color;

class qirRTFColor : public qirObject {
public:
    // Looks the name up on the default display; the colour stays null when
    // the display does not know it.
    explicit qirRTFColor(const qirString& name);
    qirRTFColor(const Color* color, const qirString& name);
    qirRTFColor(const qirRTFColor& other);
    ~qirRTFColor() override;

    const Color* color;   // referenced, or null
    qirString name;

private:
    qirRTFColor& operator=(const qirRTFColor&) = delete;
};

class qirRTFColorTable : public qirList, public Resource {
public:
    // The default colour from a name; an empty or unknown name gives the
    // entry named "default" (level-5 report).
    explicit qirRTFColorTable(qirString defaultName);
    ~qirRTFColorTable() override;

    // Never null: the default entry's colour, or the kit's foreground when
    // the display knows neither name.
    const Color* DefaultColor() const;
    // The entry of a name, made on first use; the default entry for a name
    // the display does not know (reported once per name at level 5).
    // Never null.
    const qirRTFColor* FindEntry(const char* name);
    const Color* Find(const char* name) { return ColorOf(FindEntry(name)); }
    // -1 when the display does not know the name (nothing changes), else
    // the name becomes the default colour: 0.
    int SetDefault(const qirString& name);
    // The colour of an entry, the default colour when it has none.
    const Color* ColorOf(const qirRTFColor* entry) const;
    int StatusCode() const { return 0; }

    qirRTFColor* First() const { return static_cast<qirRTFColor*>(qirList::First()); }

private:
    qirRTFColorTable(const qirRTFColorTable&) = delete;
    qirRTFColorTable& operator=(const qirRTFColorTable&) = delete;

    std::set<std::string> unknown_;   // names already reported
};

#endif
