#include "gui/accessible_win.h"

#include <oleacc.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <string>

namespace Corvanthorne::Gui {

using Microsoft::WRL::ComPtr;

namespace {

using ObjectKey = std::pair<std::wstring, int32_t>;  // control name (empty without one) and row

ObjectKey keyOf(const AccessibleObject& object) {
  return {object.node ? std::wstring(object.node->name) : std::wstring(), object.row};
}

LONG systemRole(AccessibleRole role) {
  static constexpr LONG roles[] = {ROLE_SYSTEM_PUSHBUTTON, ROLE_SYSTEM_CHECKBUTTON, ROLE_SYSTEM_TEXT,
                                   ROLE_SYSTEM_COMBOBOX,   ROLE_SYSTEM_LIST,        ROLE_SYSTEM_LISTITEM,
                                   ROLE_SYSTEM_STATICTEXT, ROLE_SYSTEM_PROGRESSBAR, ROLE_SYSTEM_SLIDER,
                                   ROLE_SYSTEM_DIALOG,     ROLE_SYSTEM_GROUPING};
  return roles[static_cast<size_t>(role)];
}

LONG systemStates(uint32_t states) {
  static constexpr std::pair<uint32_t, LONG> map[] = {
      {Focusable, STATE_SYSTEM_FOCUSABLE}, {Focused, STATE_SYSTEM_FOCUSED},     {Checked, STATE_SYSTEM_CHECKED},
      {Unavailable, STATE_SYSTEM_UNAVAILABLE}, {Protected, STATE_SYSTEM_PROTECTED}, {ReadOnly, STATE_SYSTEM_READONLY},
      {Expanded, STATE_SYSTEM_EXPANDED},   {Collapsed, STATE_SYSTEM_COLLAPSED}, {Invisible, STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN},
  };
  LONG result = 0;
  for (const auto& [state, system] : map)
    if (states & state) result |= system;
  return result;
}

// A string answer: S_FALSE and no string when there is nothing to say.
HRESULT answerText(const std::wstring& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (text.empty()) return S_FALSE;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

// What an announcement compares from one call to the next.
struct Seen {
  uint32_t states = 0;
  std::wstring name;
  std::wstring value;
  bool dialog = false;
};

}  // namespace

struct AccessibleConnection {
  HWND window = nullptr;
  AccessibleSource* source = nullptr;  // null once the window is gone
  bool clientsAsked = false;
  std::vector<AccessibleObject> cache;
  bool cacheValid = false;
  std::map<ObjectKey, LONG> ids;  // event ids, negative, kept for the window's life
  std::vector<ObjectKey> keys;    // by -id - 1
  std::map<ObjectKey, Seen> seen;
  std::optional<ObjectKey> focused;

  // Built once per change of the window (announcements invalidate it), since a client walks
  // the tree with many calls.
  const std::vector<AccessibleObject>& tree() {
    if (!cacheValid) {
      cache = source->accessibleObjects();
      cacheValid = true;
    }
    return cache;
  }
  LONG idOf(const ObjectKey& key) {
    const auto [at, added] = ids.emplace(key, -static_cast<LONG>(keys.size()) - 1);
    if (added) keys.push_back(key);
    return at->second;
  }
  int32_t indexOf(const ObjectKey& key) {
    const std::vector<AccessibleObject>& objects = tree();
    for (size_t i = 0; i < objects.size(); ++i)
      if (keyOf(objects[i]) == key) return static_cast<int32_t>(i);
    return -1;
  }
  void notify(DWORD event, const ObjectKey& key) { NotifyWinEvent(event, window, OBJID_CLIENT, idOf(key)); }
  // Compares with the last call and, when asked, raises the events of the differences.
  void compare(bool raiseEvents);
};

void AccessibleConnection::compare(bool raiseEvents) {
  std::map<ObjectKey, Seen> now;
  std::optional<ObjectKey> focus;
  for (const AccessibleObject& object : tree()) {
    if (object.row >= 0 && (object.states & ReadOnly)) continue;  // log lines: many, and never changed in place
    ObjectKey key = keyOf(object);
    if (object.states & Focused) focus = key;
    const auto before = seen.find(key);
    if (raiseEvents && before == seen.end() && object.role == AccessibleRole::Dialog) notify(EVENT_SYSTEM_DIALOGSTART, key);
    if (raiseEvents && before != seen.end()) {
      if ((before->second.states ^ object.states) & (Checked | Expanded | Collapsed | Unavailable))
        notify(EVENT_OBJECT_STATECHANGE, key);
      if (before->second.value != object.value) notify(EVENT_OBJECT_VALUECHANGE, key);
      if (before->second.name != object.name) notify(EVENT_OBJECT_NAMECHANGE, key);
    }
    now.emplace(std::move(key), Seen{object.states, object.name, object.value, object.role == AccessibleRole::Dialog});
  }
  if (raiseEvents) {
    for (const auto& [key, was] : seen)
      if (was.dialog && !now.contains(key)) notify(EVENT_SYSTEM_DIALOGEND, key);
    if (focus && focus != focused) notify(EVENT_OBJECT_FOCUS, *focus);
  }
  seen = std::move(now);
  focused = std::move(focus);
}

namespace {

// One object of the tree (or, without a key, the client area itself) as IAccessible. It finds
// its object again by key on every call, so it stays right while the window changes.
class Element final : public IAccessible {
 public:
  Element(std::shared_ptr<AccessibleConnection> connection, std::optional<ObjectKey> key)
      : connection_(std::move(connection)), key_(std::move(key)) {}

  static ComPtr<IDispatch> make(const std::shared_ptr<AccessibleConnection>& connection, std::optional<ObjectKey> key) {
    ComPtr<IDispatch> element;
    element.Attach(new Element(connection, std::move(key)));
    return element;
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDispatch && iid != IID_IAccessible) return E_NOINTERFACE;
    *out = static_cast<IAccessible*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IDispatch: clients call IAccessible directly.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    if (!parent) return E_POINTER;
    *parent = nullptr;
    int32_t self = -1;
    if (const HRESULT found = resolve(childSelf(), self); FAILED(found)) return found;
    if (self < 0) {
      // The window object is the system's; where it has none, the client area is the top.
      return SUCCEEDED(AccessibleObjectFromWindow(connection_->window, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                                  reinterpret_cast<void**>(parent)))
                 ? S_OK
                 : S_FALSE;
    }
    *parent = dispatchOf(connection_->tree()[static_cast<size_t>(self)].parent).Detach();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    if (!count) return E_POINTER;
    int32_t self = -1;
    if (const HRESULT found = resolve(childSelf(), self); FAILED(found)) return found;
    *count = static_cast<long>(accessibleChildren(connection_->tree(), self).size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    int32_t index = -1;
    if (const HRESULT found = resolve(child, index); FAILED(found)) return found;
    if (child.lVal == CHILDID_SELF) return E_INVALIDARG;
    *out = dispatchOf(index).Detach();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    return withObject(child, [&](const AccessibleObject* object) {
      if (object) return answerText(object->name, name);
      std::wstring title(static_cast<size_t>(GetWindowTextLengthW(connection_->window)) + 1, L'\0');
      title.resize(static_cast<size_t>(GetWindowTextW(connection_->window, title.data(), static_cast<int>(title.size()))));
      return answerText(title, name);
    });
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return withObject(child, [&](const AccessibleObject* object) { return answerText(object ? object->value : L"", value); });
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR* text) override { return answerText(L"", text); }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* text) override { return answerText(L"", text); }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* text) override { return answerText(L"", text); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
    if (topic) *topic = 0;
    return answerText(L"", file);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (!role) return E_POINTER;
    return withObject(child, [&](const AccessibleObject* object) {
      role->vt = VT_I4;
      role->lVal = object ? systemRole(object->role) : ROLE_SYSTEM_CLIENT;
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    if (!state) return E_POINTER;
    return withObject(child, [&](const AccessibleObject* object) {
      state->vt = VT_I4;
      state->lVal = object ? systemStates(object->states)
                           : STATE_SYSTEM_FOCUSABLE | (GetFocus() == connection_->window ? STATE_SYSTEM_FOCUSED : 0);
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    if (!focus) return E_POINTER;
    VariantInit(focus);
    int32_t self = -1;
    if (const HRESULT found = resolve(childSelf(), self); FAILED(found)) return found;
    const std::vector<AccessibleObject>& tree = connection_->tree();
    for (size_t i = 0; i < tree.size(); ++i)
      if (tree[i].states & Focused) return answerObject(self, static_cast<int32_t>(i), focus);
    if (self >= 0 || GetFocus() != connection_->window) return S_FALSE;
    focus->vt = VT_I4;
    focus->lVal = CHILDID_SELF;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    if (!selection) return E_POINTER;
    VariantInit(selection);
    return connection_->source ? S_FALSE : CO_E_OBJNOTCONNECTED;
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    return withObject(child, [&](const AccessibleObject* object) { return answerText(object ? object->defaultAction : L"", action); });
  }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
    return act(child, [&](const AccessibleObject& object) {
      return (flags & SELFLAG_TAKEFOCUS) && connection_->source->takeFocus(object) ? S_OK : S_FALSE;
    });
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return act(child, [&](const AccessibleObject& object) {
      return connection_->source->defaultAction(object) ? S_OK : DISP_E_MEMBERNOTFOUND;
    });
  }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
    if (!left || !top || !width || !height) return E_POINTER;
    return withObject(child, [&](const AccessibleObject* object) {
      RECT client{};
      GetClientRect(connection_->window, &client);
      const RECT rect = object ? RECT{object->rect.left, object->rect.top, object->rect.right, object->rect.bottom} : client;
      POINT origin{rect.left, rect.top};
      ClientToScreen(connection_->window, &origin);
      *left = origin.x;
      *top = origin.y;
      *width = rect.right - rect.left;
      *height = rect.bottom - rect.top;
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    if (!end) return E_POINTER;
    VariantInit(end);
    int32_t from = -1;
    if (const HRESULT found = resolve(start, from); FAILED(found)) return found;
    const std::vector<AccessibleObject>& tree = connection_->tree();
    std::vector<int32_t> row;
    size_t at = 0;
    if (direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD) {
      row = accessibleChildren(tree, from);
      at = direction == NAVDIR_FIRSTCHILD ? 0 : row.size() - 1;
    } else if ((direction == NAVDIR_NEXT || direction == NAVDIR_PREVIOUS) && from >= 0) {
      row = accessibleChildren(tree, tree[static_cast<size_t>(from)].parent);
      at = static_cast<size_t>(std::find(row.begin(), row.end(), from) - row.begin()) + (direction == NAVDIR_NEXT ? 1 : -1);
    }
    if (at >= row.size()) return S_FALSE;
    int32_t self = -1;
    resolve(childSelf(), self);
    return answerObject(self, row[at], end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* hit) override {
    if (!hit) return E_POINTER;
    VariantInit(hit);
    int32_t self = -1;
    if (const HRESULT found = resolve(childSelf(), self); FAILED(found)) return found;
    POINT point{x, y};
    ScreenToClient(connection_->window, &point);
    RECT client{};
    GetClientRect(connection_->window, &client);
    if (!PtInRect(&client, point)) return S_FALSE;
    const std::vector<AccessibleObject>& tree = connection_->tree();
    int32_t found = connection_->source->objectAt(tree, point.x, point.y);
    while (found >= 0 && found != self && !isInside(tree, found, self)) found = tree[static_cast<size_t>(found)].parent;
    if (found < 0 && self >= 0) return S_FALSE;
    return answerObject(self, found, hit);
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  static VARIANT childSelf() {
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    return self;
  }

  static bool isInside(const std::vector<AccessibleObject>& tree, int32_t index, int32_t ancestor) {
    if (ancestor < 0) return true;
    return index > ancestor && index < ancestor + tree[static_cast<size_t>(ancestor)].size;
  }

  // Child ids: CHILDID_SELF, 1..n for the children, and the negative ids of events for any
  // object of the window. -1 in `index` is the client area.
  HRESULT resolve(const VARIANT& child, int32_t& index) {
    if (!connection_->source) return CO_E_OBJNOTCONNECTED;
    if (child.vt != VT_I4) return E_INVALIDARG;
    int32_t self = -1;
    if (key_ && (self = connection_->indexOf(*key_)) < 0) return E_FAIL;  // the control is gone
    if (child.lVal == CHILDID_SELF) {
      index = self;
    } else if (child.lVal > 0) {
      const std::vector<int32_t> children = accessibleChildren(connection_->tree(), self);
      if (static_cast<size_t>(child.lVal) > children.size()) return E_INVALIDARG;
      index = children[static_cast<size_t>(child.lVal) - 1];
    } else {
      const size_t key = static_cast<size_t>(-(static_cast<int64_t>(child.lVal) + 1));
      if (key >= connection_->keys.size() || (index = connection_->indexOf(connection_->keys[key])) < 0) return E_INVALIDARG;
    }
    return S_OK;
  }

  template <class Answer>
  HRESULT withObject(const VARIANT& child, Answer&& answer) {
    int32_t index = -1;
    if (const HRESULT found = resolve(child, index); FAILED(found)) return found;
    return answer(index < 0 ? nullptr : &connection_->tree()[static_cast<size_t>(index)]);
  }

  // Runs an action on an object, then tells clients what it changed.
  template <class Action>
  HRESULT act(const VARIANT& child, Action&& action) {
    int32_t index = -1;
    if (const HRESULT found = resolve(child, index); FAILED(found)) return found;
    if (index < 0) return S_FALSE;
    const AccessibleObject object = connection_->tree()[static_cast<size_t>(index)];
    const HRESULT result = action(object);
    connection_->cacheValid = false;
    connection_->compare(true);
    return result;
  }

  ComPtr<IDispatch> dispatchOf(int32_t index) {
    if (index < 0) return make(connection_, std::nullopt);
    return make(connection_, keyOf(connection_->tree()[static_cast<size_t>(index)]));
  }

  // The object itself as CHILDID_SELF, any other as its own IDispatch.
  HRESULT answerObject(int32_t self, int32_t index, VARIANT* out) {
    if (index == self) {
      out->vt = VT_I4;
      out->lVal = CHILDID_SELF;
    } else {
      out->vt = VT_DISPATCH;
      out->pdispVal = dispatchOf(index).Detach();
    }
    return S_OK;
  }

  std::atomic<ULONG> references_{1};
  std::shared_ptr<AccessibleConnection> connection_;
  std::optional<ObjectKey> key_;
};

}  // namespace

int32_t AccessibleSource::objectAt(const std::vector<AccessibleObject>& tree, int32_t x, int32_t y) {
  for (size_t i = tree.size(); i-- > 0;)
    if (tree[i].rect.contains(x, y)) return static_cast<int32_t>(i);
  return -1;
}

int32_t ScreenAccessibleSource::objectAt(const std::vector<AccessibleObject>& tree, int32_t x, int32_t y) {
  return accessibleAt(screen_, tree, x, y);
}

bool ScreenAccessibleSource::defaultAction(const AccessibleObject& object) {
  const bool done = doDefaultAction(screen_, object);
  if (done) changed_();
  return done;
}

bool ScreenAccessibleSource::takeFocus(const AccessibleObject& object) {
  const Node* node = object.row < 0 && object.node ? screen_.findNode(object.node->name) : nullptr;
  if (!node || !screen_.canFocus(*node)) return false;
  screen_.setFocus(node);
  changed_();
  return true;
}

AccessibleWindow::AccessibleWindow(HWND window, AccessibleSource& source)
    : connection_(std::make_shared<AccessibleConnection>()) {
  connection_->window = window;
  connection_->source = &source;
}

AccessibleWindow::~AccessibleWindow() {
  connection_->source = nullptr;
  connection_->cache.clear();
}

std::optional<LRESULT> AccessibleWindow::getObject(WPARAM wParam, LPARAM lParam) {
  if (static_cast<LONG>(static_cast<DWORD>(lParam)) != OBJID_CLIENT) return std::nullopt;
  if (!connection_->clientsAsked) {
    com_.emplace();
    connection_->clientsAsked = true;
    connection_->compare(false);
  }
  ComPtr<IAccessible> root;
  Element::make(connection_, std::nullopt).As(&root);
  return LresultFromObject(IID_IAccessible, wParam, root.Get());
}

void AccessibleWindow::announceChanges() {
  connection_->cacheValid = false;
  if (connection_->clientsAsked && connection_->source) connection_->compare(true);
}

}  // namespace Corvanthorne::Gui
