#include "config/ui/RadioGroup.h"

#include <wx/radiobut.h>
#include <wx/sizer.h>

#include "config/ui/DialogLayout.h"

RadioGroup::RadioGroup(wxWindow* parent, std::initializer_list<Choice> choices, wxSizer* sizer) {
    for (const Choice& choice : choices) {
        const long style = buttons_.empty() ? wxRB_GROUP : 0;
        auto* button = new wxRadioButton(parent, choice.id, FromUtf8(choice.label), wxDefaultPosition,
                                         wxDefaultSize, style);
        sizer->Add(button, 0, wxALL, DialogUnitsX(parent, 2));
        buttons_.push_back(button);
    }
    none_ = new wxRadioButton(parent, wxID_ANY, wxEmptyString);
    none_->Hide();
}

void RadioGroup::SetValue(int index) {
    if (index >= 0 && static_cast<size_t>(index) < buttons_.size())
        buttons_[static_cast<size_t>(index)]->SetValue(true);
    else
        none_->SetValue(true);
}

int RadioGroup::GetValue() const {
    for (size_t i = 0; i < buttons_.size(); ++i) {
        if (buttons_[i]->GetValue())
            return static_cast<int>(i);
    }
    return -1;
}
