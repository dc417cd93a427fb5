#pragma once
// The two picture boxes of the form (the preview and the video) and the two indicator icons.
// A picture box shows its caption on its background and, over it, the last picture its painter
// made; the painter runs on whichever thread draws, and the finished picture is handed to the box
// on the window thread.

#include <wx/bmpbndl.h>
#include <wx/window.h>

#include <functional>

#include "shell/PicturePainter.h"

class CPictureBox : public wxWindow {
public:
    CPictureBox(wxWindow* parent, const wxString& caption, const wxPoint& position, const wxSize& size);

    PicturePainter& Painter() { return painter_; }
    /// Puts a painted picture on the box (window thread).
    void ShowPicture(const PaintedPicture& picture);
    /// Runs on a left click into the box.
    void OnClick(std::function<void()> handler) { onClick_ = std::move(handler); }
    /// Runs after the box has changed its size, so that its picture can be drawn again to fit.
    void OnResized(std::function<void()> handler) { onResized_ = std::move(handler); }

    /// The size of the picture on the box now (border included); 0 x 0 for none.
    wxSize PictureSize() const { return pictureSize_; }
    /// The box's current content.
    const wxBitmap& Canvas() const { return canvas_; }

private:
    void ResetCanvas();
    void OnPaint(wxPaintEvent& event);
    void OnSize(wxSizeEvent& event);

    wxString caption_;
    PicturePainter painter_;
    wxBitmap canvas_;
    wxSize pictureSize_;
    std::function<void()> onClick_;
    std::function<void()> onResized_;
};

/// An indicator icon that can be clicked.
class CIconBox : public wxWindow {
public:
    CIconBox(wxWindow* parent, const wxPoint& position, const wxSize& size);

    void SetIcon(const wxBitmapBundle& icon);
    const wxBitmapBundle& Icon() const { return icon_; }
    void OnClick(std::function<void()> handler) { onClick_ = std::move(handler); }

private:
    void OnPaint(wxPaintEvent& event);

    wxBitmapBundle icon_;
    std::function<void()> onClick_;
};

/// The size the indicator icons are drawn at, in pixels before the display's scaling.
inline constexpr int kIndicatorIconSize = 32;
