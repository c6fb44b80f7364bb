#include "commandlist.h"

#include "lib/stringtable.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

#include <cstdlib>
#include <string>

bool CCommandEntry::Parse(const char* line, CCommandEntry& entry) {
    if (!line)
        return false;
    std::vector<std::string> fields;
    std::string current;
    for (const char* c = line; *c; ++c) {
        if (*c == ',') {
            fields.push_back(current);
            current.clear();
        } else {
            current += *c;
        }
    }
    fields.push_back(current);
    if (fields.size() < 11)
        return false;
    auto number = [&](size_t i) { return std::atoi(fields[i].c_str()); };
    entry.listName = CString(fields[0]);
    std::string caption = fields[1];
    entry.shortcut.Empty();
    if (size_t tab = caption.find('\t'); tab != std::string::npos) {
        entry.shortcut = CString(caption.substr(tab + 1));
        caption.resize(tab);
    }
    entry.caption = CString(caption);
    entry.menuType = number(2);
    entry.level = number(3);
    entry.checkState = number(4);
    entry.action = number(5);
    for (int k = 0; k < 5; ++k)
        entry.p[k] = number(6 + static_cast<size_t>(k));
    return true;
}

CCommandList::CCommandList() = default;
CCommandList::~CCommandList() = default;

CCommandList::List* CCommandList::findList(const char* name) const {
    for (const auto& l : m_lists)
        if (l->name == name)
            return l.get();
    return nullptr;
}

void CCommandList::attach(List& list, CCommandEntry* entry) {
    auto lastSibling = [](CCommandEntry* e) {
        while (e->next)
            e = e->next;
        return e;
    };
    if (!list.first) {
        list.first = entry;
        return;
    }
    // From the last top-level entry go down `level` times into the last child;
    // the entry becomes the last sibling there, or the first child of a parent
    // that has none yet.
    CCommandEntry* node = lastSibling(list.first);
    for (int depth = 0; depth < entry->level; ++depth) {
        if (!node->firstChild) {
            node->firstChild = entry;
            return;
        }
        node = lastSibling(node->firstChild);
    }
    node->next = entry;
    entry->prev = node;
}

bool CCommandList::Build(int firstIndex) {
    m_entries.clear();
    m_lists.clear();
    m_allMenus.clear();
    for (int index = firstIndex; index < 3000 && EntryCount() < kMaxEntries; ++index) {
        const char* line = GetTorvelString(index);
        if (!line || CString(line) == "END_LIST")
            break;
        auto entry = std::make_unique<CCommandEntry>();
        if (!CCommandEntry::Parse(line, *entry))
            continue;
        entry->commandId = kFirstCommandId + EntryCount();
        List* list = findList(entry->listName);
        if (!list) {
            if (static_cast<int>(m_lists.size()) >= kMaxLists)
                return false;
            m_lists.push_back(std::make_unique<List>());
            list = m_lists.back().get();
            list->name = entry->listName;
        }
        attach(*list, entry.get());
        m_entries.push_back(std::move(entry));
    }
    if (m_entries.empty())
        return false;
    for (auto& list : m_lists) {
        list->menu = std::make_unique<QMenu>(QString::fromUtf8(list->name.c_str()));
        m_allMenus.push_back(list->menu.get());
        fillMenu(list->menu.get(), list->first);
    }
    return true;
}

void CCommandList::fillMenu(QMenu* menu, CCommandEntry* first) {
    for (CCommandEntry* e = first; e; e = e->next) {
        e->menu = menu;
        QString caption = QString::fromUtf8(e->caption.c_str());
        if (e->menuType == kMenuSeparator) {
            menu->addSeparator();
        } else if (e->menuType == kMenuPopup) {
            QMenu* sub = menu->addMenu(caption);
            e->popup = sub;
            m_allMenus.push_back(sub);
            fillMenu(sub, e->firstChild);
        } else {
            QAction* a = menu->addAction(caption);
            a->setData(e->commandId);
            e->item = a;
            if (!e->shortcut.IsEmpty()) {
                // One key or several, separated by "; ": all work, the menu
                // shows them all.
                const QString text = QString::fromUtf8(e->shortcut.c_str());
                const QList<QKeySequence> keys = QKeySequence::listFromString(text);
                a->setShortcuts(keys);
                if (keys.size() > 1) {
                    QStringList shown;
                    for (const QKeySequence& key : keys)
                        shown << key.toString(QKeySequence::NativeText);
                    a->setText(caption + QLatin1Char('\t') + shown.join(QStringLiteral(", ")));
                }
                // Plain function keys press the button bar's buttons wherever
                // the focus is; in the menu they are only shown, and work
                // while the menu itself is open.
                const QKeyCombination first = keys.isEmpty() ? QKeyCombination() : keys[0][0];
                if (first.key() >= Qt::Key_F1 && first.key() <= Qt::Key_F35 &&
                    first.keyboardModifiers() == Qt::NoModifier)
                    a->setShortcutContext(Qt::WidgetShortcut);
            }
            if (e->checkState == 1) {
                a->setCheckable(true);
                a->setChecked(true);
            }
        }
    }
}

QMenu* CCommandList::MenuOf(const char* listName) const {
    List* l = findList(listName);
    return l ? l->menu.get() : nullptr;
}

CCommandEntry* CCommandList::ListOf(const char* listName) const {
    List* l = findList(listName);
    return l ? l->first : nullptr;
}

CCommandEntry* CCommandList::EntryById(int commandId) const {
    int n = EntryCount();
    int slot = commandId - kFirstCommandId;
    // Entries are numbered in order, so the slot normally holds the id; search
    // outwards from it otherwise.
    for (int d = 0; d < n; ++d) {
        for (int i : {slot - d, slot + d}) {
            if (i >= 0 && i < n && m_entries[static_cast<size_t>(i)]->commandId == commandId)
                return m_entries[static_cast<size_t>(i)].get();
        }
        if (slot - d < 0 && slot + d >= n)
            break;
    }
    return nullptr;
}

CCommandEntry* CCommandList::EntryByAction(int action, int p1, int p2) const {
    for (const auto& e : m_entries)
        if (e->action == action && e->p1() == p1 && e->p2() == p2)
            return e.get();
    return nullptr;
}
