#pragma once

#include <vector>

namespace lorelist {

// Command ids: the program's own from 32774 up, the standard ones as ever.
namespace cmd {
constexpr int kSave = 57603;
constexpr int kExit = 57665;
constexpr int kUndo = 57643;
constexpr int kCut = 57635;
constexpr int kCopy = 57634;
constexpr int kPaste = 57637;
constexpr int kSpecialCharacter = 32785;
constexpr int kNewQuotation = 32774;
constexpr int kDeleteQuotation = 32775;
constexpr int kUpdateQuotation = 32776;
constexpr int kSearch = 32777;
constexpr int kFindReference = 32825;
constexpr int kFindUnreferenced = 32787;
constexpr int kCountReferences = 32788;
constexpr int kNewCategory = 32778;
constexpr int kDeleteCategory = 32779;
constexpr int kUpdateCategory = 32784;
constexpr int kAddReference = 32780;
constexpr int kDeleteReference = 32781;
constexpr int kAddSubject = 32782;
constexpr int kDeleteSubject = 32783;
constexpr int kToolbar = 59392;
constexpr int kFont = 32786;
constexpr int kStatistics = 32789;
constexpr int kHelpTopics = 57667;
constexpr int kAbout = 57664;
constexpr int kHelp = 57670;
constexpr int kContextHelp = 57669;
constexpr int kHelpUsing = 57671;
constexpr int kSelectAll = 32827;
constexpr int kSaveCopyAs = 32828;
constexpr int kUndoEdit = 32829;
constexpr int kRedoEdit = 32830;
// The four moves of each tree's menu, and of the keys, which act on the
// tree pane that last had the focus.
constexpr int kMoveQuotationUp = 32831;
constexpr int kMoveQuotationDown = 32832;
constexpr int kMoveQuotationOut = 32833;
constexpr int kMoveQuotationIn = 32834;
constexpr int kMoveCategoryUp = 32835;
constexpr int kMoveCategoryDown = 32836;
constexpr int kMoveCategoryOut = 32837;
constexpr int kMoveCategoryIn = 32838;
constexpr int kMoveUp = 32839;
constexpr int kMoveDown = 32840;
constexpr int kMoveOut = 32841;
constexpr int kMoveIn = 32842;
constexpr int kExportHtml = 32843;
constexpr int kExportMarkdown = 32844;
constexpr int kPrint = 32845;
// Each opens a dictionary in a new window; Open Recent is the submenu's own.
constexpr int kNewDictionary = 32846;
constexpr int kOpenDictionary = 32847;
constexpr int kOpenRecent = 32848;
constexpr int kClearRecent = 32849;
constexpr int kConvertToUnicode = 32850;
constexpr int kMergeDictionary = 32851;
constexpr int kEarlierVersions = 32852;
}  // namespace cmd

// One command: where the menu shows it, its prompt string (description, then
// after the line break the toolbar tooltip) and its toolbar image.
struct Command {
  int id;
  const char* popup;     // nullptr: not in the menu
  const char* itemText;  // with "&" before the mnemonic and "\t" before the shortcut text
  const char* prompt;    // nullptr: none
  const char* icon;      // toolbar image, nullptr: no button
};

// In menu order; commands without a menu item come last.
const std::vector<Command>& Commands();
const Command* FindCommand(int id);

// The menu's pop-ups in order, each with its item ids; 0 is a separator.
struct Popup {
  const char* title;
  std::vector<int> items;
};
const std::vector<Popup>& Menu();

// The accelerator table in table order. Where two entries name the same
// keys, the first wins.
struct Accelerator {
  const char* keys;  // e.g. "Ctrl+Z"
  int id;
};
const std::vector<Accelerator>& Accelerators();

// The toolbar, left to right; 0 is a separator.
const std::vector<int>& ToolbarButtons();

}  // namespace lorelist
