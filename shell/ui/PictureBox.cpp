#include "shell/ui/PictureBox.h"

#include <wx/dcbuffer.h>
#include <wx/dcmemory.h>
#include <wx/image.h>
#include <wx/settings.h>

#include <cstring>

namespace {

Rgb ToRgb(const wxColour& colour) {
    return {colour.Red(), colour.Green(), colour.Blue()};
}

}  // namespace

CPictureBox::CPictureBox(wxWindow* parent, const wxString& caption, const wxPoint& position, const wxSize& size)
    : wxWindow(parent, wxID_ANY, position, size, wxFULL_REPAINT_ON_RESIZE), caption_(caption) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    PainterColours colours;
    colours.background = ToRgb(wxGetTopLevelParent(parent)->GetBackgroundColour());
    colours.darkShadow = ToRgb(wxSystemSettings::GetColour(wxSYS_COLOUR_3DDKSHADOW));
    colours.highlight = ToRgb(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNHIGHLIGHT));
    painter_.SetColours(colours);
    painter_.SetBoxSize(size.GetWidth(), size.GetHeight());
    ResetCanvas();
    Bind(wxEVT_PAINT, &CPictureBox::OnPaint, this);
    Bind(wxEVT_SIZE, &CPictureBox::OnSize, this);
    Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent&) {
        if (onClick_)
            onClick_();
    });
}

void CPictureBox::ResetCanvas() {
    // The box's own look: its background with its caption at the top left.
    const wxSize size = GetClientSize();
    canvas_ = wxBitmap(std::max(size.GetWidth(), 1), std::max(size.GetHeight(), 1));
    wxMemoryDC dc(canvas_);
    dc.SetBackground(wxBrush(wxGetTopLevelParent(this)->GetBackgroundColour()));
    dc.Clear();
    dc.SetFont(GetParent()->GetFont());
    dc.SetTextForeground(GetParent()->GetForegroundColour());
    dc.DrawText(caption_, 0, 0);
    pictureSize_ = wxSize();
}

void CPictureBox::ShowPicture(const PaintedPicture& picture) {
    if (picture.width <= 0 || picture.height <= 0)
        return;
    // A picture of another size than the last lets the box repaint its own background and caption
    // first; one of the same size is simply drawn over the last.
    if (picture.repaintBox)
        ResetCanvas();
    wxImage image(picture.width, picture.height, false);
    std::memcpy(image.GetData(), picture.rgb.data(), picture.rgb.size());
    {
        wxMemoryDC dc(canvas_);
        dc.DrawBitmap(wxBitmap(image), 0, 0);
    }
    pictureSize_ = wxSize(picture.width, picture.height);
    Refresh(false);
}

void CPictureBox::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    dc.SetBackground(wxBrush(wxGetTopLevelParent(this)->GetBackgroundColour()));
    dc.Clear();
    dc.DrawBitmap(canvas_, 0, 0);
}

void CPictureBox::OnSize(wxSizeEvent& event) {
    const wxSize size = GetClientSize();
    if (size != canvas_.GetSize()) {
        painter_.SetBoxSize(size.GetWidth(), size.GetHeight());
        ResetCanvas();
        Refresh(false);
        if (onResized_)
            onResized_();
    }
    event.Skip();
}

CIconBox::CIconBox(wxWindow* parent, const wxPoint& position, const wxSize& size)
    : wxWindow(parent, wxID_ANY, position, size) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &CIconBox::OnPaint, this);
    Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent&) {
        if (onClick_)
            onClick_();
    });
}

void CIconBox::SetIcon(const wxBitmapBundle& icon) {
    icon_ = icon;
    Refresh(false);
}

void CIconBox::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    dc.SetBackground(wxBrush(wxGetTopLevelParent(this)->GetBackgroundColour()));
    dc.Clear();
    if (icon_.IsOk())
        dc.DrawBitmap(icon_.GetBitmapFor(this), 0, 0, true);
}
