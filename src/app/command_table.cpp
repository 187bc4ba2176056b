#include "command_table.h"

namespace lorelist {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {cmd::kSave, "&File", "Save\tCtrl+S", "Save all data to disk\nSave", "save.png"},
      {cmd::kSaveCopyAs, "&File", "Save Copy As...",
       "Save the whole database to a file of your choice, leaving Florilex.txt as it is\nSave "
       "copy",
       nullptr},
      {cmd::kExit, "&File", "E&xit", "Quit the application; prompts to save documents\nExit",
       nullptr},
      {cmd::kUndo, "&Edit", "&Undo\tAlt+Backspace", "Undo the last action\nUndo", nullptr},
      {cmd::kCut, "&Edit", "Cu&t\tCtrl+X", "Cut the selection and put it on the Clipboard\nCut",
       "cut.png"},
      {cmd::kCopy, "&Edit", "&Copy\tCtrl+C", "Copy the selection and put it on the Clipboard\nCopy",
       "copy.png"},
      {cmd::kPaste, "&Edit", "&Paste\tCtrl+V", "Insert Clipboard contents\nPaste", "paste.png"},
      {cmd::kSpecialCharacter, "&Edit", "Special Character\tCtrl+Y",
       "Insert one or more special characters\nSpecial characters", "special_char.png"},
      {cmd::kNewQuotation, "Quotations", "New Node\tCtrl+G",
       "Insert a new node to the quotations tree\nNew quotations node", "quote_new.png"},
      {cmd::kDeleteQuotation, "Quotations", "Delete Node\tCtrl+H",
       "Remove a node from the quotations tree\nDelete quotations node", "quote_delete.png"},
      {cmd::kUpdateQuotation, "Quotations", "Update Node\tCtrl+K",
       "Update quotations node from the workspace\nUpdate quotation", "quote_update.png"},
      {cmd::kSearch, "Quotations", "Search\tCtrl+Q", "Find a selected character string\nSearch",
       "search.png"},
      {cmd::kFindReference, "Quotations", "Find Reference\tCtrl+T",
       "Find references to a quotation\nFind next reference", "find_reference.png"},
      {cmd::kFindUnreferenced, "Quotations", "Find Unreferenced\tCtrl+O",
       "Find the first quotation without references\nFind unreferenced", "find_unreferenced.png"},
      {cmd::kCountReferences, "Quotations", "Count References\tCtrl+R",
       "Count the number of references for quotation node\nCount references",
       "count_references.png"},
      {cmd::kNewCategory, "Categories", "New Node\tCtrl+I",
       "Insert a new node to the categories tree\nNew category node", "cat_new.png"},
      {cmd::kDeleteCategory, "Categories", "Delete Node\tCtrl+J",
       "Remove a node from the categories tree\nDelete categories node", "cat_delete.png"},
      {cmd::kUpdateCategory, "Categories", "Update Node\tCtrl+L",
       "Update categories node from the workspace\nUpdate category", "cat_update.png"},
      {cmd::kAddReference, "Categories", "Add Reference\tCtrl+Z",
       "Add a new reference\nAdd reference", "ref_add.png"},
      {cmd::kDeleteReference, "Categories", "Delete Reference\tCtrl+D",
       "Remove highlighted reference\nRemove reference", "ref_delete.png"},
      {cmd::kAddSubject, "Categories", "Add Subject\tCtrl+B",
       "Add a new subject index entry\nAdd subject", "subject_add.png"},
      {cmd::kDeleteSubject, "Categories", "Delete Subject\tCtrl+E",
       "Remove highlighted subject index entry\nDelete subject", "subject_delete.png"},
      {cmd::kToolbar, "&View", "&Toolbar", "Show or hide the toolbar\nToggle ToolBar", nullptr},
      {cmd::kFont, "&View", "Font\tCtrl+F", "Change the font\nFont", "font.png"},
      {cmd::kStatistics, "&View", "Statistics\tCtrl+N",
       "Display counts of all aspects of the data base\nStatistics", "statistics.png"},
      {cmd::kHelpTopics, "&Help", "&Help Topics", "List Help topics\nHelp Topics", nullptr},
      {cmd::kAbout, "&Help", "&About Lorelist...",
       "Display program information, version number and copyright\nAbout", "about.png"},
      {cmd::kHelp, nullptr, nullptr, "Display help for current task or command\nHelp", nullptr},
      {cmd::kContextHelp, nullptr, nullptr,
       "Display help for clicked on buttons, menus and windows\nHelp", "context_help.png"},
      {cmd::kHelpUsing, nullptr, nullptr, nullptr, nullptr},
      {cmd::kSelectAll, nullptr, nullptr, nullptr, nullptr},
  };
  return commands;
}

const Command* FindCommand(int id) {
  for (const Command& command : Commands())
    if (command.id == id) return &command;
  return nullptr;
}

const std::vector<Popup>& Menu() {
  static const std::vector<Popup> menu = {
      {"&File", {cmd::kSave, cmd::kSaveCopyAs, 0, cmd::kExit}},
      {"&Edit", {cmd::kUndo, 0, cmd::kCut, cmd::kCopy, cmd::kPaste, 0, cmd::kSpecialCharacter}},
      {"Quotations",
       {cmd::kNewQuotation, cmd::kDeleteQuotation, cmd::kUpdateQuotation, cmd::kSearch,
        cmd::kFindReference, cmd::kFindUnreferenced, cmd::kCountReferences}},
      {"Categories",
       {cmd::kNewCategory, cmd::kDeleteCategory, cmd::kUpdateCategory, cmd::kAddReference,
        cmd::kDeleteReference, cmd::kAddSubject, cmd::kDeleteSubject}},
      {"&View", {cmd::kToolbar, cmd::kFont, cmd::kStatistics}},
      {"&Help", {cmd::kHelpTopics, 0, cmd::kAbout}},
  };
  return menu;
}

const std::vector<Accelerator>& Accelerators() {
  static const std::vector<Accelerator> accelerators = {
      {"Ctrl+Z", cmd::kAddReference},
      {"Ctrl+B", cmd::kAddSubject},
      {"Ctrl+J", cmd::kDeleteCategory},
      {"Ctrl+D", cmd::kDeleteReference},
      {"Ctrl+E", cmd::kDeleteSubject},
      {"Ctrl+L", cmd::kUpdateCategory},
      {"Ctrl+I", cmd::kNewCategory},
      {"Shift+F1", cmd::kContextHelp},
      {"Ctrl+C", cmd::kCopy},
      {"Ctrl+Ins", cmd::kCopy},
      {"Shift+Del", cmd::kCut},
      {"Ctrl+X", cmd::kCut},
      {"Ctrl+V", cmd::kPaste},
      {"Shift+Ins", cmd::kPaste},
      {"Ctrl+Y", cmd::kSpecialCharacter},
      {"Alt+Backspace", cmd::kUndo},
      {"Ctrl+Z", cmd::kUndo},
      {"Ctrl+S", cmd::kSave},
      {"F1", cmd::kHelp},
      {"Ctrl+R", cmd::kCountReferences},
      {"Ctrl+H", cmd::kDeleteQuotation},
      {"Ctrl+K", cmd::kUpdateQuotation},
      {"Ctrl+T", cmd::kFindReference},
      {"Ctrl+O", cmd::kFindUnreferenced},
      {"Ctrl+G", cmd::kNewQuotation},
      {"Ctrl+Q", cmd::kSearch},
      {"Ctrl+F", cmd::kFont},
      {"Ctrl+N", cmd::kStatistics},
      {"Ctrl+A", cmd::kSelectAll},
  };
  return accelerators;
}

const std::vector<int>& ToolbarButtons() {
  static const std::vector<int> buttons = {
      cmd::kSave,
      0,
      cmd::kCut,
      cmd::kCopy,
      cmd::kPaste,
      cmd::kSpecialCharacter,
      0,
      cmd::kNewQuotation,
      cmd::kDeleteQuotation,
      cmd::kUpdateQuotation,
      cmd::kSearch,
      cmd::kFindReference,
      cmd::kFindUnreferenced,
      cmd::kCountReferences,
      0,
      cmd::kNewCategory,
      cmd::kDeleteCategory,
      cmd::kUpdateCategory,
      cmd::kAddReference,
      cmd::kDeleteReference,
      cmd::kAddSubject,
      cmd::kDeleteSubject,
      0,
      cmd::kFont,
      cmd::kStatistics,
      0,
      cmd::kAbout,
      cmd::kContextHelp,
  };
  return buttons;
}

}  // namespace lorelist
