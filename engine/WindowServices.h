#pragma once
// What the engine needs of the window side. The GUI and the console front end each implement it;
// the engine never sees a window. Message boxes go through the process-wide box service of
// platform/MessageBox.h, which each front end installs. Calls may come from the worker thread; an implementation
// serialises them itself (log appends in particular must not interleave).

#include <string>

struct CodecRequest;

class WindowServices {
public:
    virtual ~WindowServices() = default;

    /// Appends text to the status log (and the log file), red or in the default colour, and ends
    /// the line when asked. One call is one indivisible append.
    virtual void AppendLog(const std::string& text, bool red, bool lineEnd) = 0;
    /// Puts a text into the status-bar pane with that identifier.
    virtual void SetPaneText(int paneId, const std::string& text) = 0;
    /// Shows the elapsed conversion time, in whole seconds, in the elapsed-time pane.
    virtual void SetElapsedSeconds(long seconds) = 0;
    /// The AVI-state indicator: an output is open or not.
    virtual void ShowAviOpen(bool open) = 0;
    /// Alternates the activity indicator; called once per frame about to be written.
    virtual void BlinkActivity() = 0;
    /// Marks a file-list entry as converted (the name is searched for when the index is stale).
    virtual void MarkConverted(const std::string& name, int index) = 0;
    /// Shows the picture at the path in the video box (the caller throttles).
    virtual void ShowVideo(const std::string& path) = 0;
    /// Whether a main window exists that can run the Select Codec dialog.
    virtual bool HasMainWindow() = 0;
    /// Runs the Select Codec dialog for the request on the window thread and waits for it;
    /// 0 when it was cancelled.
    virtual int RequestCodec(CodecRequest& request) = 0;
    /// Asks the main window to close (posted; returns at once).
    virtual void PostClose() = 0;
};
