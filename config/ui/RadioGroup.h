#pragma once
// A group of radio buttons whose value is the index of the ticked one, as the framework's radio
// exchange has it: a value outside the group ticks none, and a group with none ticked reads -1.
// GTK always keeps one button of a group ticked, so the group ends with a hidden button that
// stands for "none".

#include <initializer_list>
#include <vector>

class wxRadioButton;
class wxSizer;
class wxWindow;

class RadioGroup {
public:
    struct Choice {
        int id;
        const char* label;
    };
    /// Makes the buttons on the parent in the order given and adds the visible ones to the sizer.
    RadioGroup(wxWindow* parent, std::initializer_list<Choice> choices, wxSizer* sizer);

    /// Ticks the button of the index; none for an index outside the group.
    void SetValue(int index);
    /// The index of the ticked button, -1 when none is.
    int GetValue() const;

private:
    std::vector<wxRadioButton*> buttons_;
    wxRadioButton* none_;
};
