// The session log of the window process: the file log of the foundation,
// taken over at session start, that also shows critical errors and errors
// in message boxes and the entries of the levels the user chose in a
// read-only enriched-text panel of the main window.
//
// A report reaches the file first; its text is copied before a box runs
// its own event loop, so a report made while the box is up cannot change
// it.  The panel is filled from a queue after the current event, at most
// every FlushInterval milliseconds, and only while it is on the screen; it
// keeps the last PanelLines lines, so an entry costs the same however long
// the session has run and however the reports fall on events.
#ifndef QIR_LOG_WINDOW_H
#define QIR_LOG_WINDOW_H

#include "qirError.h"

#include <chrono>
#include <deque>
#include <string>

#include <InterViews/enter-scope.h>

class Glyph;
class LayoutKit;
class Style;
class TelltaleState;
class WidgetKit;
class qirConfiguration;
class qirLayout;
class qirRTFPanel;

class qirLogWindow : public qirError {
public:
    enum {
        PanelLines = 5000,    // lines the panel keeps
        FlushInterval = 40,   // milliseconds between two fillings of the panel
        ShowAllSwitch = 6     // AttachSwitch's index of the show-all switch
    };

    // Takes over log's open file, path, limits and line count; log is left
    // closed and stays the caller's to delete.  config is searched for
    // "Debug.Window", "Debug.Colors" and the editor's "RTFEditor"; layout
    // keeps the switch states.  None of them is owned.
    qirLogWindow(qirError* log, const qirConfiguration* config, qirLayout* layout, WidgetKit* kit,
                 LayoutKit* layoutKit, Style* style);
    // Close, then the file is closed (and trimmed to the line limit).
    ~qirLogWindow() override;

    // The base's Open (the taken-over file stays open: -20), then the panel
    // is made when "Debug.Window" is "Yes" in any case, and every attached
    // switch is set from the layout store ("Main.Show." and the level name,
    // "Main.Show.ShowAll"; a missing flag counts as set).
    int Open(const char* path, int level, int limit) override;
    // Drops the panel and detaches the switches; the file stays open.
    int Close() override;
    // File, panel queue, then for levels 0 and 1 the "Critical error" or
    // "Error" box (none for the held content reports of received mail);
    // after the box of a level-0 report the critical save runs and the
    // process ends.
    void Write(int level, const char* text) override;
    // The base's, then, when the outermost stretch of received mail ends
    // and messages had content reports, one "Warning" box says how many.
    int EndReceived() override;

    // The chosen state of the level's switch; without one, whether the
    // level is below the level limit.
    virtual int LevelShown(int level) const;
    // The chosen state of the show-all switch, 0 without one.
    virtual int ShowAll() const;

    // Levels 0 to 5, then ShowAllSwitch.  The menu owns the states.
    void AttachSwitch(int index, TelltaleState* state);
    // Writes the attached switches' states into the layout store.
    void SaveShowSettings();

    // Queues one entry for the panel (prefix and text coloured by level).
    void AppendLine(int level, const char* text);
    // The glyph the main window shows below the folder list, null when the
    // configuration asks for no panel.
    Glyph* PanelGlyph() const;
    qirRTFPanel* Panel() const { return panel_; }
    // Entries waiting for the panel.
    int Queued() const { return static_cast<int>(queue_.size()); }

    // From now on reports go to the file only: the display is gone, or the
    // process is ending after a critical error.
    void FileOnly() { fileOnly_ = 1; }
    // Run after the box of a level-0 report, before the process ends: the
    // application saves what it can there.
    void OnCritical(void (*save)()) { criticalSave_ = save; }

    // qirLog when it is a log window, else null.
    static qirLogWindow* Current();

private:
    struct Pending {
        std::string text;   // enriched
        int lines;
    };
    class PanelHost;
    class FlushTimer;
    friend class PanelHost;
    friend class FlushTimer;

    // The enriched text of one entry: the prefix and the text, each in its
    // colour, the text escaped, cut at qirReportBufferSize - 1 bytes, its
    // trailing line breaks dropped; *lines is set to the lines it takes.
    static std::string Entry(const char* prefix, const char* prefixColor, const char* text,
                             const char* textColor, int* lines);
    // Puts the queued entries into the panel, when it is on the screen.
    void Flush();
    int Shown() const;
    void LoadColors();
    void PostBox(int level, const std::string& text);
    void Arm();
    void TrimPanel();

    const qirConfiguration* config_;
    qirLayout* layout_;
    WidgetKit* kit_;
    LayoutKit* layoutKit_;
    Style* style_;
    TelltaleState* switches_[7] = {};
    std::string prefixColor_[qirLogLevelCount], textColor_[qirLogLevelCount];
    qirRTFPanel* panel_ = nullptr;   // referenced
    PanelHost* host_ = nullptr;      // referenced; holds the panel
    FlushTimer* timer_;              // owned
    std::deque<Pending> queue_;
    int queuedLines_ = 0;
    int panelLines_ = 0;             // lines of entries in the panel
    std::chrono::steady_clock::time_point lastFlush_;
    int fileOnly_ = 0;
    void (*criticalSave_)() = nullptr;
};

#endif
