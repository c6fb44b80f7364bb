// CCommandList: the program's menus and button lists, built from the string
// table lines 100 onward up to "END_LIST". Each line is one command entry:
//   list name, caption, menu type, level, check state, action, p1, p2, p3, p4, p5
// Entries of one list form a tree by their levels; every list gets one menu.
// A command's id is 35000 + its index.
#pragma once

#include "platform/cstring.h"

#include <QObject>

#include <memory>
#include <vector>

class QAction;
class QMenu;

constexpr int kFirstCommandId = 35000;
constexpr int kLastCommandId = 36999;
constexpr int kMacroCommandId = 37000;

enum MenuType { kMenuCommand = 0, kMenuSeparator = 1, kMenuPopup = 2 };

struct CCommandEntry {
    CString listName;
    CString caption;
    CString shortcut; // the key named after a tab in the caption ("Ctrl+O", "F1")
    int menuType = kMenuCommand;
    int level = 0;
    int commandId = 0;
    int checkState = 0;
    int action = 0;
    int p[5] = {};
    CCommandEntry* next = nullptr;
    CCommandEntry* prev = nullptr;
    CCommandEntry* firstChild = nullptr;
    QMenu* menu = nullptr;   // the menu the entry's item lives in
    QAction* item = nullptr; // the entry's menu item (commands only)
    QMenu* popup = nullptr;  // the pop-up menu of a pop-up entry

    int p1() const { return p[0]; }
    int p2() const { return p[1]; }

    // Parses one string-table line; false when it has fewer than eleven fields.
    static bool Parse(const char* line, CCommandEntry& entry);
};

class CCommandList {
public:
    static constexpr int kMaxEntries = 2000;
    static constexpr int kMaxLists = 128;

    CCommandList();
    ~CCommandList();
    CCommandList(const CCommandList&) = delete;
    CCommandList& operator=(const CCommandList&) = delete;

    // Builds the entries from string-table index firstIndex on, then one menu
    // per list. False when there are no entries or a 129th list appears.
    bool Build(int firstIndex = 100);

    QMenu* MenuOf(const char* listName) const;
    // The first entry of the named list, or null.
    CCommandEntry* ListOf(const char* listName) const;
    CCommandEntry* EntryById(int commandId) const;
    CCommandEntry* EntryByAction(int action, int p1, int p2) const;
    // Every menu the list built (list menus and their pop-ups).
    const std::vector<QMenu*>& AllMenus() const { return m_allMenus; }
    int EntryCount() const { return static_cast<int>(m_entries.size()); }
    CCommandEntry* Entry(int index) const { return m_entries[static_cast<size_t>(index)].get(); }

private:
    struct List {
        CString name;
        CCommandEntry* first = nullptr;
        std::unique_ptr<QMenu> menu;
    };
    List* findList(const char* name) const;
    void attach(List& list, CCommandEntry* entry);
    void fillMenu(QMenu* menu, CCommandEntry* first);

    std::vector<std::unique_ptr<CCommandEntry>> m_entries;
    std::vector<std::unique_ptr<List>> m_lists;
    std::vector<QMenu*> m_allMenus;
};
