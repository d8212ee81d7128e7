// The window's controls as the design lays them out: each control's name, the member that holds
// it, the control it sits in, its caption (or initial text) and its place in twips. Form1 creates
// its controls from this table, in this order (which is also the tab order).
#pragma once

#include <variant>

#include "app/form1.h"

namespace quarrytab {

using ControlMember =
    std::variant<QTreeView * Form1::*, QPushButton * Form1::*, QGroupBox * Form1::*,
                 QRadioButton * Form1::*, QCheckBox * Form1::*, QLineEdit * Form1::*>;

struct ControlLayout {
    const char* name;
    ControlMember member;
    const char* parent;   // "Form1" for the window itself
    const char* caption;  // a button's or frame's caption, a text box's initial text
    int left;
    int top;
    int width;
    int height;
    bool checked = false;           // option buttons and check boxes
    const char* toolTip = nullptr;  // the lists
};

inline constexpr char kWindowName[] = "Form1";

inline constexpr ControlLayout kForm1Layout[] = {
    // Left column: the input side.
    {"ListView1", &Form1::ListView1, kWindowName, "", 120, 120, 7800, 2805, false,
     "Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
     "window to reveal full names."},
    {"PushButton1", &Form1::PushButton1, kWindowName, "Add CSV Files", 120, 3020, 3840, 405},
    {"PushButton5", &Form1::PushButton5, kWindowName, "Add All CSV Files In Folder", 4080, 3020,
     3840, 405},
    {"PushButton7", &Form1::PushButton7, kWindowName, "Clear List", 120, 3530, 3840, 405},
    {"PushButton3", &Form1::PushButton3, kWindowName, "Load Sample/Example Files", 4080, 3530, 3840,
     405},
    {"Frame6", &Form1::Frame6, kWindowName, "CSV Delimiter", 120, 3990, 7800, 750},
    {"Option11", &Form1::Option11, "Frame6", "Comma", 240, 300, 1140, 225, true},
    {"Option12", &Form1::Option12, "Frame6", "Comma-space", 1485, 300, 1725, 225},
    {"Option13", &Form1::Option13, "Frame6", "Semicolon", 3330, 300, 1455, 225},
    {"Option14", &Form1::Option14, "Frame6", "Tab", 4860, 300, 780, 225},
    {"Option15", &Form1::Option15, "Frame6", "Other", 5760, 300, 825, 225},
    {"Text4", &Form1::Text4, "Frame6", "|", 6600, 255, 915, 330},
    {"Frame4", &Form1::Frame4, kWindowName, "Table Name", 120, 4800, 7800, 810},
    {"Text1", &Form1::Text1, "Frame4", "Text1", 240, 300, 7300, 345},
    {"Frame5", &Form1::Frame5, kWindowName, "Table and Field Delimiting Character", 120, 5655, 7800,
     870},
    {"Text2", &Form1::Text2, "Frame5", "'", 240, 360, 7300, 330},
    // Right column: options, conversion, results and the output choice.
    {"Frame3", &Form1::Frame3, kWindowName, "Options", 8040, 60, 7800, 1395},
    {"Option7", &Form1::Option7, "Frame3",
     "Use Create Table command with first row followed by Insert command", 240, 300, 6315, 255,
     true},
    {"Option6", &Form1::Option6, "Frame3", "Use Insert command on all rows", 240, 650, 6285, 255},
    {"Check3", &Form1::Check3, "Frame3", "Include ; at the end of each line", 240, 1000, 4095, 255,
     true},
    {"PushButton10", &Form1::PushButton10, "Frame3", "Reading Rules...", 4560, 940, 2700, 375},
    {"PushButton2", &Form1::PushButton2, kWindowName, "Start Converting", 8040, 1575, 7800, 405},
    {"ListView2", &Form1::ListView2, kWindowName, "", 8040, 2070, 7800, 1575, false,
     "Move | line to right and out of window to reveal full names."},
    {"Frame1", &Form1::Frame1, kWindowName, "Save Option", 8040, 3680, 7800, 1815},
    {"Option1", &Form1::Option1, "Frame1", "Save results to this folder:", 240, 300, 3615, 255,
     true},
    {"Frame2", &Form1::Frame2, "Frame1", "", 480, 510, 6840, 810},
    {"Text3", &Form1::Text3, "Frame2", "", 240, 300, 5670, 345},
    {"PushButton6", &Form1::PushButton6, "Frame2", "...", 6000, 300, 600, 345},
    {"Option2", &Form1::Option2, "Frame1", "Save results in folder of original file", 240, 1410,
     3615, 255},
    {"PushButton8", &Form1::PushButton8, kWindowName, "Save Results As Text File", 8040, 5610, 3840,
     405},
    {"PushButton9", &Form1::PushButton9, kWindowName, "Clear Results", 12000, 5610, 3840, 405},
    {"PushButton4", &Form1::PushButton4, kWindowName, "Copy Results To Clipboard", 8040, 6120, 7800,
     405},
};

}  // namespace quarrytab
