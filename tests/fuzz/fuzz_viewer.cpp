// The help viewer's engine and layout pass on any page: read as
// text/enriched and as plain text, laid out at two widths and back; the
// first layout must come back the same (every pass starts afresh), and
// the selection of the whole page copies without a fault, and neither
// does one that started on a filler after a layout deleted it.
#include <cstdlib>
#include <string>
#include <vector>

#include "qirRTFEngine.h"

static std::vector<std::string> Layout(qirRTFEngine& engine, qirRTFStubKit& kit, float width) {
    engine.SetLayoutWidth(width);
    engine.FormatAll();
    return kit.lines;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    // The first byte chooses the width; the rest is the page.
    float width = size > 0 ? 20.0f + data[0] * 3 : 300.0f;
    const char* text = size > 0 ? reinterpret_cast<const char*>(data) + 1 : "";
    size_t length = size > 0 ? size - 1 : 0;

    for (int enriched : {1, 0}) {
        qirRTFStubKit kit;
        qirHelpReferenceList refs;
        qirRTFEngine engine;
        engine.Begin(&kit);
        engine.SetReferences(&refs);
        engine.SetExcerptStartText(qirString("<italic>[<excerpt>"));
        engine.SetExcerptEndText(qirString("]</italic>"));
        engine.SetIndentUnit(24);
        engine.SetTabWidth(48);
        // Read in two pieces, as a page read in chunks may be.
        engine.InsertText(text, length / 2, enriched);
        engine.InsertText(text + length / 2, length - length / 2, enriched);
        engine.ApplyStyles();
        std::vector<std::string> first = Layout(engine, kit, width);
        // A selection from a filler (a drag from a line's margin) to an
        // element chosen by the input, as a resize then finds it.
        std::vector<qirRTFElement*> elements, fillers;
        for (qirRTFElement* e = engine.First(); e; e = qirRTFEngine::Next(e)) {
            elements.push_back(e);
            if (e->type() == qirRTFSpaceType || e->type() == qirRTFMarkType)
                fillers.push_back(e);
        }
        if (!elements.empty()) {
            qirRTFElement* from = fillers.empty() ? elements.front() : fillers[data[0] % fillers.size()];
            engine.SetSelection(from, elements[(data[0] * 31u) % elements.size()]);
            engine.SetSelectionAnchor(fillers.empty() ? nullptr : fillers.back());
            engine.SetHighlight(engine.SelectionStart(), engine.SelectionEnd(), 1);
        }
        Layout(engine, kit, width * 2 + 7);
        for (qirRTFElement* end : {engine.SelectionStart(), engine.SelectionEnd(), engine.SelectionAnchor()})
            if (end && (end->type() == qirRTFSpaceType || end->type() == qirRTFMarkType))
                abort();
        engine.SetHighlight(engine.SelectionStart(), engine.SelectionEnd(), 0);
        engine.SelectedText(engine.SelectionStart(), engine.SelectionEnd());
        Layout(engine, kit, 5);
        if (Layout(engine, kit, width) != first)
            abort();
        engine.ApplyStyles();
        if (Layout(engine, kit, width) != first)
            abort();
        int order = 0;
        for (qirRTFElement* e = engine.First(); e; e = qirRTFEngine::Next(e)) {
            if (e->order <= order)
                abort();
            order = e->order;
        }
        engine.SetHighlight(engine.First(), engine.Last(), 1);
        engine.SelectedText(engine.Last(), engine.First());
        engine.SetHighlight(engine.Last(), engine.First(), 0);
        engine.Clear();
        if (!engine.IsEmpty() || refs.IsNotEmpty())
            abort();
    }
    return 0;
}
