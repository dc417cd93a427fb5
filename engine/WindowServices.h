#pragma once
// What the engine needs of the window side. The GUI and the console front end each implement it;
// the engine never sees a window. Message boxes go through the process-wide box service of
// platform/MessageBox.h, which each front end installs. Calls may come from the worker thread; an
// implementation serialises them itself (log appends in particular must not interleave).
//
// The operations with a body are optional: a front end without the window part they serve (the
// console has no menu, no cursor, no preview box) keeps the default.

#include <string>

#include "engine/FormValues.h"

class Event;
struct CodecRequest;

/// RequestCodec's answer for a compressor chosen for the current run only.
inline constexpr int kCodecForThisRun = 2;

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
    /// Shows an entry of the file list as converted. The list model has already been marked
    /// (FileList::MarkConverted); index is the entry it marked.
    virtual void MarkConverted(const std::string& name, int index) = 0;
    /// Shows the picture at the path in the video box (the caller throttles).
    virtual void ShowVideo(const std::string& path) = 0;
    /// Whether a main window exists that can run the Select Codec dialog.
    virtual bool HasMainWindow() = 0;
    /// Runs the Select Codec dialog for the request on the window thread and waits for it:
    /// 0 cancelled; 1 chosen by the user (the writer stores the choice); 2 chosen for this run
    /// only, by a front end that answers by itself (the console), which must not be stored.
    virtual int RequestCodec(CodecRequest& request) = 0;
    /// Asks the main window to close (posted; returns at once).
    virtual void PostClose() = 0;

    /// Posts a command (a menu identifier such as 32773 "Process File(s)") to the main window;
    /// it is handled once the window thread's loop runs, in the order posted.
    virtual void PostCommand(int /*commandId*/) {}
    /// Puts the values into the form's controls (at start-up, from the loaded settings).
    virtual void ShowFormValues(const FormValues& /*values*/) {}
    /// Takes the current values of the form's controls into values (called on the window thread
    /// when a conversion starts and when the program closes). A front end without a form leaves
    /// them as they are.
    virtual void ReadFormValues(FormValues& /*values*/) {}
    /// Enables or disables the "Close AVI File" menu item and toolbar button.
    virtual void EnableCloseAvi(bool /*enabled*/) {}
    /// Shows or ends the wait cursor.
    virtual void SetWaitCursor(bool /*busy*/) {}
    /// Repaints the preview box with the first selected entry (called on the preview thread).
    virtual void PaintPreview() {}
    /// The file list's content or selection changed outside the list control (a fill at
    /// start-up, Process All Files selecting everything).
    virtual void FileListChanged() {}

    /// Runs the window thread's pending work (messages, posted calls); false when the program is
    /// quitting. Waits of the window thread for other threads call it so that the worker's
    /// synchronous requests are still served.
    virtual bool DispatchPending() { return true; }
    /// Signalled whenever new work arrives for the window thread; none when the waits should
    /// simply look again after a short time.
    virtual Event* InputEvent() { return nullptr; }
};
