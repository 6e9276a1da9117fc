// The tree view ("SysTreeView32"): items under the invisible root, each with a text, images, a
// state and the caller's value, expanded or collapsed, one of them selected. Items are inserted
// first, last, sorted or after a sibling; deleting an item deletes its subtree, TVI_ROOT the whole
// tree, and the parent gets TVN_DELETEITEMW for each (children first). TVM_EXPAND and TVM_SELECTITEM
// notify nobody. The user's input: a click on an item selects it (TVN_SELCHANGINGW, which a
// nonzero answer refuses, then TVN_SELCHANGEDW); a click on its button (TVS_HASBUTTONS), a double
// click on it, or the right and left arrow keys expand or collapse it (TVN_ITEMEXPANDINGW, then
// TVN_ITEMEXPANDEDW); the up and down arrows select the neighbouring shown item. Rows are 16 pixels
// high; an item is indented 19 pixels a level (one more level with TVS_LINESATROOT, when there are
// lines or buttons at the root), and its button is the indent to its left.
#include "controls/ControlPainting.h"
#include "controls/Controls.h"
#include "text/AnsiText.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace user {
namespace {

constexpr int kRowHeight = 16;
constexpr int kDefaultIndent = 19;
constexpr int kCharacterWidth = 6;

struct Node {
    UINT_PTR id = 0;
    Node* parent = nullptr;
    std::vector<std::unique_ptr<Node>> children;
    std::u16string text;
    int image = 0;
    int selectedImage = 0;
    int childrenFlag = -1; // cChildren when set, -1 to follow the children
    UINT state = 0;
    LPARAM param = 0;
};

struct TreeState : ControlState {
    TreeState() : ControlState(ControlKind::treeView) {}
    Node root;
    std::map<UINT_PTR, Node*> items;
    UINT_PTR nextId = 1;
    Node* selected = nullptr;
    int indent = kDefaultIndent;
    COLORREF background = static_cast<COLORREF>(-1);
    COLORREF textColor = static_cast<COLORREF>(-1);
};

HTREEITEM HandleOf(const Node* node)
{
    return node ? reinterpret_cast<HTREEITEM>(node->id) : nullptr;
}

Node* Find(TreeState& state, HTREEITEM item)
{
    auto found = state.items.find(reinterpret_cast<UINT_PTR>(item));
    return found == state.items.end() ? nullptr : found->second;
}

size_t IndexIn(const Node& node)
{
    const auto& siblings = node.parent->children;
    for (size_t i = 0; i < siblings.size(); ++i)
        if (siblings[i].get() == &node)
            return i;
    return siblings.size();
}

Node* Sibling(Node& node, int step)
{
    const auto& siblings = node.parent->children;
    const auto index = static_cast<std::ptrdiff_t>(IndexIn(node)) + step;
    if (index < 0 || index >= static_cast<std::ptrdiff_t>(siblings.size()))
        return nullptr;
    return siblings[static_cast<size_t>(index)].get();
}

bool Expanded(const Node& node)
{
    return (node.state & TVIS_EXPANDED) != 0;
}

// The items shown, in order: the roots and the children of every expanded item shown.
void Shown(Node& node, std::vector<Node*>& out)
{
    for (auto& child : node.children) {
        out.push_back(child.get());
        if (Expanded(*child))
            Shown(*child, out);
    }
}

int Depth(const Node& node)
{
    int depth = 0;
    for (const Node* up = node.parent; up && up->parent; up = up->parent)
        ++depth;
    return depth;
}

bool RootLevelIndented(HWND hwnd)
{
    const DWORD style = StyleOf(hwnd);
    return (style & TVS_LINESATROOT) && (style & (TVS_HASLINES | TVS_HASBUTTONS));
}

bool HasChildren(const Node& node)
{
    return node.childrenFlag >= 0 ? node.childrenFlag != 0 : !node.children.empty();
}

template <typename Item>
void Store(Node& node, const Item& item, bool wide)
{
    if ((item.mask & TVIF_TEXT) && item.pszText)
        node.text = wide ? std::u16string(reinterpret_cast<const char16_t*>(item.pszText))
                         : WideFromAnsi(reinterpret_cast<const char*>(item.pszText));
    if (item.mask & TVIF_IMAGE)
        node.image = item.iImage;
    if (item.mask & TVIF_SELECTEDIMAGE)
        node.selectedImage = item.iSelectedImage;
    if (item.mask & TVIF_PARAM)
        node.param = item.lParam;
    if (item.mask & TVIF_CHILDREN)
        node.childrenFlag = item.cChildren;
    if (item.mask & TVIF_STATE)
        node.state = (node.state & ~item.stateMask) | (item.state & item.stateMask & ~TVIS_SELECTED);
}

template <typename Item>
void Fetch(const Node& node, Item& item, bool wide)
{
    if (item.mask & TVIF_TEXT)
        CopyTextOut(node.text, item.pszText, item.cchTextMax, wide);
    if (item.mask & TVIF_IMAGE)
        item.iImage = node.image;
    if (item.mask & TVIF_SELECTEDIMAGE)
        item.iSelectedImage = node.selectedImage;
    if (item.mask & TVIF_PARAM)
        item.lParam = node.param;
    if (item.mask & TVIF_CHILDREN)
        item.cChildren = HasChildren(node) ? 1 : 0;
    if (item.mask & TVIF_STATE)
        item.state = node.state & item.stateMask;
}

template <typename Insertion>
LRESULT Insert(HWND hwnd, TreeState& state, const Insertion* insert, bool wide)
{
    if (!insert)
        return 0;
    Node* parent = (!insert->hParent || insert->hParent == TVI_ROOT) ? &state.root : Find(state, insert->hParent);
    if (!parent)
        return 0;
    auto node = std::make_unique<Node>();
    node->id = state.nextId++;
    node->parent = parent;
    Store(*node, insert->item, wide);
    auto& siblings = parent->children;
    size_t at = siblings.size();
    if (insert->hInsertAfter == TVI_FIRST) {
        at = 0;
    } else if (insert->hInsertAfter == TVI_SORT) {
        at = 0;
        while (at < siblings.size() && siblings[at]->text <= node->text)
            ++at;
    } else if (insert->hInsertAfter != TVI_LAST && insert->hInsertAfter) {
        Node* after = Find(state, insert->hInsertAfter);
        if (!after || after->parent != parent)
            return 0;
        at = IndexIn(*after) + 1;
    }
    Node* made = node.get();
    siblings.insert(siblings.begin() + static_cast<std::ptrdiff_t>(at), std::move(node));
    state.items[made->id] = made;
    InvalidateRect(hwnd, nullptr, TRUE);
    return reinterpret_cast<LRESULT>(HandleOf(made));
}

NMTREEVIEWW Record(const Node* old, const Node* now, UINT action)
{
    NMTREEVIEWW record{};
    record.action = action;
    if (old) {
        record.itemOld.mask = TVIF_HANDLE | TVIF_PARAM | TVIF_STATE;
        record.itemOld.hItem = HandleOf(old);
        record.itemOld.lParam = old->param;
        record.itemOld.state = old->state;
    }
    if (now) {
        record.itemNew.mask = TVIF_HANDLE | TVIF_PARAM | TVIF_STATE;
        record.itemNew.hItem = HandleOf(now);
        record.itemNew.lParam = now->param;
        record.itemNew.state = now->state;
    }
    return record;
}

// Takes a subtree out of the tree; the parent hears of each item, children first.
void Delete(HWND hwnd, TreeState& state, Node& node)
{
    while (!node.children.empty())
        Delete(hwnd, state, *node.children.back());
    if (!node.parent)
        return; // the root stays
    if (state.selected == &node)
        state.selected = nullptr;
    NMTREEVIEWW record = Record(&node, nullptr, 0);
    NotifyParent(hwnd, record.hdr, TVN_DELETEITEMW);
    state.items.erase(node.id);
    auto& siblings = node.parent->children;
    siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(IndexIn(node)));
}

bool SetExpanded(Node& node, UINT code)
{
    const bool wasExpanded = Expanded(node);
    bool expand = wasExpanded;
    switch (code & 0x3) {
    case TVE_COLLAPSE:
        expand = false;
        break;
    case TVE_EXPAND:
        expand = true;
        break;
    case TVE_TOGGLE:
        expand = !wasExpanded;
        break;
    default:
        return false;
    }
    if (expand && !HasChildren(node))
        return false;
    if (expand)
        node.state |= TVIS_EXPANDED | TVIS_EXPANDEDONCE;
    else
        node.state &= ~TVIS_EXPANDED;
    return true;
}

void Select(TreeState& state, Node* node)
{
    if (state.selected)
        state.selected->state &= ~TVIS_SELECTED;
    state.selected = node;
    if (node) {
        node->state |= TVIS_SELECTED;
        for (Node* up = node->parent; up && up->parent; up = up->parent)
            up->state |= TVIS_EXPANDED | TVIS_EXPANDEDONCE; // a selected item is shown
    }
}

// The user's choice of an item: asked of the parent, then reported.
void UserSelect(HWND hwnd, TreeState& state, Node* node, UINT action)
{
    if (!node || node == state.selected)
        return;
    NMTREEVIEWW asking = Record(state.selected, node, action);
    if (NotifyParent(hwnd, asking.hdr, TVN_SELCHANGINGW))
        return;
    if (!state.items.count(node->id))
        return;
    Node* old = state.selected;
    Select(state, node);
    InvalidateRect(hwnd, nullptr, TRUE);
    NMTREEVIEWW told = Record(old, node, action);
    NotifyParent(hwnd, told.hdr, TVN_SELCHANGEDW);
}

void UserExpand(HWND hwnd, TreeState& state, Node* node, UINT code)
{
    if (!node || !HasChildren(*node))
        return;
    if ((code == TVE_EXPAND && Expanded(*node)) || (code == TVE_COLLAPSE && !Expanded(*node)))
        return;
    const UINT action = code == TVE_TOGGLE ? (Expanded(*node) ? TVE_COLLAPSE : TVE_EXPAND) : code;
    NMTREEVIEWW asking = Record(nullptr, node, action);
    if (NotifyParent(hwnd, asking.hdr, TVN_ITEMEXPANDINGW))
        return;
    if (!state.items.count(node->id))
        return;
    SetExpanded(*node, action);
    InvalidateRect(hwnd, nullptr, TRUE);
    NMTREEVIEWW told = Record(nullptr, node, action);
    NotifyParent(hwnd, told.hdr, TVN_ITEMEXPANDEDW);
}

// Where an item's row is: its button, its label.
struct Row {
    Node* node = nullptr;
    int labelLeft = 0;
    int labelRight = 0;
};

Row RowAt(HWND hwnd, TreeState& state, int y)
{
    std::vector<Node*> shown;
    Shown(state.root, shown);
    if (y < 0 || y / kRowHeight >= static_cast<int>(shown.size()))
        return {};
    Node* node = shown[static_cast<size_t>(y / kRowHeight)];
    const int levels = Depth(*node) + (RootLevelIndented(hwnd) ? 1 : 0);
    Row row;
    row.node = node;
    row.labelLeft = levels * state.indent;
    row.labelRight = row.labelLeft + static_cast<int>(node->text.size()) * kCharacterWidth + 4;
    return row;
}

// One row per item shown: dotted lines to the parent and between siblings (TVS_HASLINES), the box
// with + or - of an item with children (TVS_HASBUTTONS), the label, highlighted when selected
// (in the face colour without the focus, with TVS_SHOWSELALWAYS).
void Paint(HWND hwnd, TreeState& state, HDC dc, const RECT& client)
{
    const DWORD style = StyleOf(hwnd);
    const bool enabled = IsWindowEnabled(hwnd);
    const bool focused = GetFocus() == hwnd;
    const COLORREF background = state.background != static_cast<COLORREF>(-1) ? state.background : GetSysColor(COLOR_WINDOW);
    const COLORREF text = state.textColor != static_cast<COLORREF>(-1) ? state.textColor : GetSysColor(COLOR_WINDOWTEXT);
    HBRUSH fill = CreateSolidBrush(background);
    FillRect(dc, &client, fill);
    DeleteObject(fill);
    const COLORREF line = GetSysColor(COLOR_3DSHADOW);
    const bool rootIndented = RootLevelIndented(hwnd);
    auto dotted = [&](int x0, int y0, int x1, int y1) {
        for (int x = x0, y = y0; x <= x1 && y <= y1; x0 == x1 ? ++y : ++x)
            if ((x + y) % 2 == 0)
                SetPixel(dc, x, y, line);
    };
    std::vector<Node*> shown;
    Shown(state.root, shown);
    for (size_t i = 0; i < shown.size(); ++i) {
        const Node& node = *shown[i];
        const int top = static_cast<int>(i) * kRowHeight;
        if (top >= client.bottom)
            break;
        const int middle = top + kRowHeight / 2;
        const int levels = Depth(node) + (rootIndented ? 1 : 0);
        const int labelLeft = levels * state.indent;
        const int centre = labelLeft - state.indent / 2;
        if ((style & TVS_HASLINES) && levels > 0) {
            dotted(centre, middle, labelLeft - 2, middle);
            const bool more = node.parent && IndexIn(node) + 1 < node.parent->children.size();
            const bool first = node.parent && !node.parent->parent && IndexIn(node) == 0;
            dotted(centre, first ? middle : top, centre, more ? top + kRowHeight - 1 : middle);
            // The lines of the ancestors' later siblings pass through the row.
            int level = levels - 1;
            for (const Node* up = node.parent; up && up->parent && level > 0; up = up->parent, --level) {
                if (IndexIn(*up) + 1 < up->parent->children.size())
                    dotted(level * state.indent - state.indent / 2, top, level * state.indent - state.indent / 2,
                           top + kRowHeight - 1);
            }
        }
        if ((style & TVS_HASBUTTONS) && HasChildren(node) && levels > 0) {
            RECT box{centre - 4, middle - 4, centre + 5, middle + 5};
            FillRect(dc, &box, GetSysColorBrush(COLOR_WINDOW));
            FrameRect(dc, &box, GetSysColorBrush(COLOR_3DSHADOW));
            RECT bar{centre - 2, middle, centre + 3, middle + 1};
            FillSystem(dc, bar, COLOR_WINDOWTEXT);
            if (!Expanded(node)) {
                RECT stem{centre, middle - 2, centre + 1, middle + 3};
                FillSystem(dc, stem, COLOR_WINDOWTEXT);
            }
        }
        SIZE extent{};
        GetTextExtentPoint32W(dc, reinterpret_cast<LPCWSTR>(node.text.c_str()), static_cast<int>(node.text.size()), &extent);
        RECT label{labelLeft, top, labelLeft + extent.cx + 4, top + kRowHeight};
        SetTextColor(dc, text);
        if (&node == state.selected && (focused || (style & TVS_SHOWSELALWAYS))) {
            FillSystem(dc, label, focused ? COLOR_HIGHLIGHT : COLOR_3DFACE);
            if (focused)
                SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        }
        RECT inner = label;
        inner.left += 2;
        DrawLabel(dc, node.text, inner, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX, enabled);
        if (&node == state.selected && focused)
            DrawFocusRect(dc, &label);
    }
}

LRESULT NextItem(HWND hwnd, TreeState& state, WPARAM relation, HTREEITEM from)
{
    Node* node = Find(state, from);
    (void)hwnd;
    switch (relation) {
    case TVGN_ROOT:
    case TVGN_FIRSTVISIBLE:
        return reinterpret_cast<LRESULT>(state.root.children.empty() ? nullptr : HandleOf(state.root.children.front().get()));
    case TVGN_CHILD: {
        Node* parent = (!from || from == TVI_ROOT) ? &state.root : node;
        return reinterpret_cast<LRESULT>(parent && !parent->children.empty() ? HandleOf(parent->children.front().get())
                                                                               : nullptr);
    }
    case TVGN_NEXT:
        return reinterpret_cast<LRESULT>(node ? HandleOf(Sibling(*node, 1)) : nullptr);
    case TVGN_PREVIOUS:
        return reinterpret_cast<LRESULT>(node ? HandleOf(Sibling(*node, -1)) : nullptr);
    case TVGN_PARENT:
        return reinterpret_cast<LRESULT>(node && node->parent != &state.root ? HandleOf(node->parent) : nullptr);
    case TVGN_CARET:
        return reinterpret_cast<LRESULT>(HandleOf(state.selected));
    case TVGN_NEXTVISIBLE:
    case TVGN_PREVIOUSVISIBLE:
    case TVGN_LASTVISIBLE: {
        std::vector<Node*> shown;
        Shown(state.root, shown);
        if (relation == TVGN_LASTVISIBLE)
            return reinterpret_cast<LRESULT>(shown.empty() ? nullptr : HandleOf(shown.back()));
        auto at = std::find(shown.begin(), shown.end(), node);
        if (!node || at == shown.end())
            return 0;
        if (relation == TVGN_NEXTVISIBLE)
            return reinterpret_cast<LRESULT>(at + 1 == shown.end() ? nullptr : HandleOf(*(at + 1)));
        return reinterpret_cast<LRESULT>(at == shown.begin() ? nullptr : HandleOf(*(at - 1)));
    }
    default:
        return 0;
    }
}

} // namespace

LRESULT WINAPI TreeViewProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT answer = 0;
    auto state = EnterControlProcedure<TreeState>(hwnd, message, wParam, lParam, ControlKind::treeView, &answer);
    if (!state)
        return answer;
    switch (message) {
    case WM_PAINT:
    case WM_PRINTCLIENT:
        PaintControl(hwnd, message, wParam, state->font,
                     [&](HDC dc, const RECT& client) { Paint(hwnd, *state, dc, client); });
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_DESTROY:
        Delete(hwnd, *state, state->root);
        break;
    case TVM_INSERTITEMA:
        return Insert(hwnd, *state, reinterpret_cast<const TVINSERTSTRUCTA*>(lParam), false);
    case TVM_INSERTITEMW:
        return Insert(hwnd, *state, reinterpret_cast<const TVINSERTSTRUCTW*>(lParam), true);
    case TVM_DELETEITEM: {
        auto item = reinterpret_cast<HTREEITEM>(lParam);
        if (!item || item == TVI_ROOT) {
            Delete(hwnd, *state, state->root);
        } else {
            Node* node = Find(*state, item);
            if (!node)
                return FALSE;
            Delete(hwnd, *state, *node);
        }
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    }
    case TVM_GETCOUNT:
        return static_cast<LRESULT>(state->items.size());
    case TVM_EXPAND: {
        Node* node = Find(*state, reinterpret_cast<HTREEITEM>(lParam));
        if (!node || !SetExpanded(*node, static_cast<UINT>(wParam)))
            return FALSE;
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    }
    case TVM_GETNEXTITEM:
        return NextItem(hwnd, *state, wParam, reinterpret_cast<HTREEITEM>(lParam));
    case TVM_SELECTITEM: {
        if (wParam != TVGN_CARET)
            return FALSE;
        auto item = reinterpret_cast<HTREEITEM>(lParam);
        Node* node = Find(*state, item);
        if (item && !node)
            return FALSE;
        Select(*state, node);
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    }
    case TVM_GETITEMA:
    case TVM_GETITEMW:
    case TVM_SETITEMA:
    case TVM_SETITEMW: {
        // The A and W records differ only in their text's form.
        auto* item = reinterpret_cast<TVITEMW*>(lParam);
        Node* node = item ? Find(*state, item->hItem) : nullptr;
        if (!node)
            return FALSE;
        const bool wide = message == TVM_GETITEMW || message == TVM_SETITEMW;
        if (message == TVM_GETITEMA || message == TVM_GETITEMW) {
            if (wide)
                Fetch(*node, *item, true);
            else
                Fetch(*node, *reinterpret_cast<TVITEMA*>(lParam), false);
            return TRUE;
        }
        if (wide)
            Store(*node, *item, true);
        else
            Store(*node, *reinterpret_cast<TVITEMA*>(lParam), false);
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    }
    case TVM_GETINDENT:
        return state->indent;
    case TVM_SETINDENT:
        state->indent = std::max(0, static_cast<int>(wParam));
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case TVM_GETVISIBLECOUNT:
        return ClientSize(hwnd).cy / kRowHeight;
    case TVM_SETBKCOLOR: {
        const COLORREF previous = state->background;
        state->background = static_cast<COLORREF>(lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return static_cast<LRESULT>(static_cast<LONG>(previous));
    }
    case TVM_GETBKCOLOR:
        return static_cast<LRESULT>(static_cast<LONG>(state->background));
    case TVM_SETTEXTCOLOR: {
        const COLORREF previous = state->textColor;
        state->textColor = static_cast<COLORREF>(lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return static_cast<LRESULT>(static_cast<LONG>(previous));
    }
    case TVM_GETTEXTCOLOR:
        return static_cast<LRESULT>(static_cast<LONG>(state->textColor));
    case TVM_GETITEMRECT: {
        // In: the item's handle in the rectangle's place; wParam TRUE for the label only.
        auto* rect = reinterpret_cast<RECT*>(lParam);
        if (!rect)
            return FALSE;
        HTREEITEM item = nullptr;
        std::memcpy(&item, rect, sizeof item);
        Node* node = Find(*state, item);
        std::vector<Node*> shown;
        Shown(state->root, shown);
        auto at = std::find(shown.begin(), shown.end(), node);
        if (!node || at == shown.end())
            return FALSE;
        const int top = static_cast<int>(at - shown.begin()) * kRowHeight;
        const Row row = RowAt(hwnd, *state, top);
        *rect = wParam ? RECT{row.labelLeft, top, row.labelRight, top + kRowHeight}
                       : RECT{0, top, ClientSize(hwnd).cx, top + kRowHeight};
        return TRUE;
    }
    case TVM_HITTEST: {
        auto* info = reinterpret_cast<TVHITTESTINFO*>(lParam);
        if (!info)
            return 0;
        const Row row = RowAt(hwnd, *state, info->pt.y);
        info->hItem = HandleOf(row.node);
        if (!row.node)
            info->flags = TVHT_NOWHERE;
        else if (info->pt.x >= row.labelLeft && info->pt.x < row.labelRight)
            info->flags = TVHT_ONITEMLABEL;
        else if (info->pt.x >= row.labelRight)
            info->flags = TVHT_ONITEMRIGHT;
        else if (info->pt.x >= row.labelLeft - state->indent && HasChildren(*row.node) &&
                 (StyleOf(hwnd) & TVS_HASBUTTONS) && (row.node->parent != &state->root || RootLevelIndented(hwnd)))
            info->flags = TVHT_ONITEMBUTTON;
        else
            info->flags = TVHT_ONITEMINDENT;
        return reinterpret_cast<LRESULT>(info->hItem);
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        SetFocus(hwnd);
        TVHITTESTINFO info{PointOf(lParam), 0, nullptr};
        TreeViewProcedure(hwnd, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info));
        Node* node = Find(*state, info.hItem);
        if (!node)
            return 0;
        if (info.flags == TVHT_ONITEMBUTTON)
            UserExpand(hwnd, *state, node, TVE_TOGGLE);
        else if (info.flags & TVHT_ONITEM) {
            UserSelect(hwnd, *state, node, TVC_BYMOUSE);
            if (message == WM_LBUTTONDBLCLK)
                if (auto again = ControlStateOf<TreeState>(hwnd, ControlKind::treeView))
                    UserExpand(hwnd, *again, Find(*again, info.hItem), TVE_TOGGLE);
        }
        return 0;
    }
    case WM_KEYDOWN: {
        Node* node = state->selected;
        std::vector<Node*> shown;
        Shown(state->root, shown);
        auto at = std::find(shown.begin(), shown.end(), node);
        switch (wParam) {
        case VK_DOWN:
            if (!node && !shown.empty())
                UserSelect(hwnd, *state, shown.front(), TVC_BYKEYBOARD);
            else if (at != shown.end() && at + 1 != shown.end())
                UserSelect(hwnd, *state, *(at + 1), TVC_BYKEYBOARD);
            return 0;
        case VK_UP:
            if (at != shown.end() && at != shown.begin())
                UserSelect(hwnd, *state, *(at - 1), TVC_BYKEYBOARD);
            return 0;
        case VK_RIGHT:
            UserExpand(hwnd, *state, node, TVE_EXPAND);
            return 0;
        case VK_LEFT:
            if (node && Expanded(*node))
                UserExpand(hwnd, *state, node, TVE_COLLAPSE);
            else if (node && node->parent != &state->root)
                UserSelect(hwnd, *state, node->parent, TVC_BYKEYBOARD);
            return 0;
        default:
            break;
        }
        break;
    }
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace user
