#pragma once
// CMainFrame: the main window. Its menus, toolbar, accelerators and status-bar prompts are built
// from the command table; it shows the worker's progress in the status panes, runs the commands
// (refusing some while a conversion runs) and carries out the close: the program-exit sequence of
// the conversion view, without a question at the end of an unattended run.

#include <wx/frame.h>

#include <functional>
#include <memory>
#include <string>

struct Command;
class CPixreelView;
class WindowCalls;

class CMainFrame : public wxFrame {
public:
    explicit CMainFrame(std::shared_ptr<WindowCalls> calls);
    ~CMainFrame() override;

    CPixreelView& View() { return *view_; }
    const std::shared_ptr<WindowCalls>& Calls() const { return calls_; }

    /// Runs a command by its program identifier, from wherever it was reached.
    void RunCommand(int commandId);
    /// Puts a text into the status pane with that identifier (61209 elapsed time, ...).
    void SetPaneText(int paneId, const std::string& text);
    std::string PaneText(int paneId) const;
    void EnableCloseAvi(bool enabled);
    /// Brings the window to the front, restored (a second interactive start asks for this).
    void RaiseWindow();
    /// Runs once the window has closed, before it is destroyed (the application takes the run's
    /// exit status there).
    void OnClosed(std::function<void()> handler) { onClosed_ = std::move(handler); }
    bool IsClosing() const { return closing_; }
    /// True while a Stop or a close waits for the threads: commands are not taken meanwhile.
    bool IsWaiting() const { return waiting_ || closing_; }

    // The command handlers of the command table.
    void OnSelectFiles();
    void OnCloseAviFile();
    void OnClearFiles();
    void OnProcessFiles();
    void OnProcessAllFiles();
    void OnStopProcessing();
    void OnRefresh();
    void OnCut();
    void OnCopy();
    void OnUndo();
    void OnClearLog();
    void OnSortAToZ();
    void OnSortZToA();
    void OnSortLastModified();
    void OnSortCreationTime();
    void OnProperties();
    void OnExit();
    void OnToggleToolbar();
    void OnToggleStatusBar();
    void OnAbout();
    void OnAcknowledge();
    void OnHelp();
    void OnDeleteFiles();
    void OnSelectAll();

    /// Shows the file list's pop-up menu at a point on the screen.
    void ShowFileListMenu(const wxPoint& screenPoint);

private:
    void CreateMenus();
    void CreateTools();
    void CreateStatusPanes();
    void CreateAccelerators();
    void Dispatch(const Command& command);
    bool TryBefore(wxEvent& event) override;
    void OnCloseWindow(wxCloseEvent& event);

    std::shared_ptr<WindowCalls> calls_;
    CPixreelView* view_ = nullptr;
    bool closing_ = false;
    bool waiting_ = false;        // a command waits for the conversion to end (Stop)
    int commandDepth_ = 0;        // commands running (one may have a dialog open)
    bool closeDeferred_ = false;  // a close came while a command ran; it follows the command
    std::function<void()> onClosed_;
};
