#include "qirMessageArea.h"

#include "qirTiffImage.h"

#include <IV-look/kit.h>
#include <InterViews/image.h>
#include <InterViews/layout.h>
#include <InterViews/raster.h>

int qirMessageArea::iconShown_ = 0;

PolyGlyph* qirMessageArea::Build(PolyGlyph* box, WidgetKit* kit, LayoutKit* lk, const char* iconPath,
                                 const char* const* lines, int count) {
    PolyGlyph* text = lk->vbox();
    for (int i = 0; i < count; i++)
        text->append(lk->hbox(lk->hglue(), kit->label(lines[i]), lk->hglue()));

    PolyGlyph* row = lk->hbox();
    row->append(lk->hglue());
    row->append(lk->hspace(20));
    Raster* raster = qirTiffImage::Load(iconPath);
    iconShown_ = raster != nullptr;
    if (raster)
        row->append(lk->vbox(lk->vglue(), new Image(raster), lk->vglue()));
    row->append(lk->hspace(20));
    row->append(lk->vbox(lk->vglue(), text, lk->vglue()));
    row->append(lk->hspace(20));
    row->append(lk->hglue());
    box->append(kit->outset_frame(lk->vbox(lk->vspace(16), row, lk->vspace(16))));

    PolyGlyph* buttons = lk->hbox();
    buttons->append(lk->hglue());
    box->append(kit->outset_frame(lk->vbox(lk->vspace(8), buttons, lk->vspace(8))));
    return buttons;
}
