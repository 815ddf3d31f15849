// The launcher window as a screen reader meets it. Under Wine an accessible object does not
// travel to another process, so this test's own process opens the real window and asks.
#include <windows.h>

#include <oleacc.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <map>
#include <string>
#include <vector>

#include "common/text.h"
#include "launcher/launcher_window_win.h"
#include "support/accessible_win.h"
#include "support/dib_win.h"
#include "support/temp_dir.h"

namespace Corvanthorne {
namespace {

using Microsoft::WRL::ComPtr;
using Testing::childId;
using Testing::numberOf;

const std::filesystem::path kGameData = std::filesystem::path(QEL_TEST_DATA_DIR) / ".." / ".." / "game";

std::wstring nameOf(IAccessible& object) { return Testing::textOf(object, &IAccessible::get_accName); }

// Every object below `parent`, depth first, by "role name".
void collect(IAccessible& parent, std::map<std::wstring, ComPtr<IAccessible>>& out) {
  long count = 0;
  parent.get_accChildCount(&count);
  for (long i = 1; i <= count; ++i) {
    ComPtr<IDispatch> dispatch;
    ComPtr<IAccessible> child;
    if (FAILED(parent.get_accChild(childId(i), &dispatch)) || FAILED(dispatch.As(&child))) continue;
    out.emplace(std::to_wstring(numberOf(*child.Get(), &IAccessible::get_accRole)) + L" " + nameOf(*child.Get()), child);
    collect(*child.Get(), out);
  }
}

struct OpenLauncher {
  OpenLauncher() {
    std::filesystem::copy(kGameData, root.path(), std::filesystem::copy_options::recursive);
    readLauncherState(state, root.path(), "");
    EXPECT_TRUE(state.screen.load(root / "data" / "gui" / "launcher.ghi"));
    state.services.repaint = [this] { InvalidateRect(static_cast<HWND>(state.window), nullptr, FALSE); };
    configureGui(state);
    EXPECT_TRUE(window.create(GetModuleHandleW(nullptr)));
    window.show(SW_SHOWNOACTIVATE);
    client = Testing::clientObject(handle());
    if (client) collect(*client.Get(), objects);
  }
  HWND handle() const { return static_cast<HWND>(state.window); }
  IAccessible& object(const std::wstring& roleAndName) { return *objects.at(roleAndName).Get(); }

  Testing::TempDir root;
  LauncherState state;
  LauncherWindow window{state};
  ComPtr<IAccessible> client;
  std::map<std::wstring, ComPtr<IAccessible>> objects;
};

HWND eventWindow = nullptr;
std::wstring focusedName;

void CALLBACK onFocus(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD, DWORD) {
  ComPtr<IAccessible> accessible;
  VARIANT which;
  if (window != eventWindow || FAILED(AccessibleObjectFromEvent(window, object, child, &accessible, &which))) return;
  BSTR name = nullptr;
  accessible->get_accName(which, &name);
  focusedName = name ? name : L"<none>";
  SysFreeString(name);
}

TEST(LauncherWindowAccessible, ListsSpeaksAndActsOnTheRealWindow) {
  OpenLauncher launcher;
  ASSERT_TRUE(launcher.client);
  const std::wstring expected[] = {
      L"20 Sign in",            L"42 User name",  L"42 Password",          L"44 Remember user name", L"43 Play",
      L"46 Resolution",         L"44 Full screen", L"44 Vertical sync",    L"46 Server",             L"33 Patch notes",
  };
  for (const std::wstring& roleAndName : expected) EXPECT_TRUE(launcher.objects.contains(roleAndName)) << wideToUtf8(roleAndName);

  // The check box toggles as a click toggles it.
  IAccessible& remember = launcher.object(L"44 Remember user name");
  const bool before = launcher.state.rememberUsername;
  EXPECT_EQ(remember.accDoDefaultAction(childId(CHILDID_SELF)), S_OK);
  EXPECT_NE(launcher.state.rememberUsername, before);
  EXPECT_EQ((numberOf(remember, &IAccessible::get_accState) & STATE_SYSTEM_CHECKED) != 0, launcher.state.rememberUsername);

  // Selecting the input focuses it, says so to hooks, and its place is in screen pixels.
  eventWindow = launcher.handle();
  const HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS, nullptr, onFocus,
                                             GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  IAccessible& username = launcher.object(L"42 User name");
  EXPECT_EQ(username.accSelect(SELFLAG_TAKEFOCUS, childId(CHILDID_SELF)), S_OK);
  for (int i = 0; i < 100 && focusedName.empty(); ++i) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(20);
  }
  UnhookWinEvent(hook);
  EXPECT_EQ(focusedName, L"User name");
  EXPECT_EQ(launcher.state.screen.focusedName(), L"Username");
  long left = 0, top = 0, width = 0, height = 0;
  EXPECT_EQ(username.accLocation(&left, &top, &width, &height, childId(CHILDID_SELF)), S_OK);
  const Gui::PixelRect placed = launcher.state.screen.entryFor(launcher.state.screen.findNode(L"Username"))->rect;
  POINT origin{placed.left, placed.top};
  ClientToScreen(launcher.handle(), &origin);
  EXPECT_EQ(std::vector<long>({left, top, width, height}), std::vector<long>({origin.x, origin.y, placed.width(), placed.height()}));
  VARIANT hit;
  EXPECT_EQ(launcher.client->accHitTest(left + width / 2, top + height / 2, &hit), S_OK);
  ASSERT_EQ(hit.vt, VT_DISPATCH);
  ComPtr<IDispatch> hitDispatch;
  hitDispatch.Attach(hit.pdispVal);
  ComPtr<IAccessible> hitObject;
  ASSERT_EQ(hitDispatch.As(&hitObject), S_OK);
  EXPECT_EQ(nameOf(*hitObject.Get()), L"User name");

  DestroyWindow(launcher.handle());
  long count = 0;
  EXPECT_EQ(launcher.client->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(username.accDoDefaultAction(childId(CHILDID_SELF)), CO_E_OBJNOTCONNECTED);
}

// Whether c lies between two of the colours (within 3 per channel), as the smoothed edge of
// a letter in one colour over another does.
bool between(Gui::Colour c, const std::vector<Gui::Colour>& colours) {
  const auto channels = [](Gui::Colour x) { return std::array<int, 3>{int(Gui::redOf(x)), int(Gui::greenOf(x)), int(Gui::blueOf(x))}; };
  for (const Gui::Colour a : colours)
    for (const Gui::Colour b : colours) {
      const auto p = channels(c), from = channels(a), to = channels(b);
      const size_t widest = std::abs(to[1] - from[1]) > std::abs(to[0] - from[0]) ? 1 : 0;
      const double t = to[widest] == from[widest] ? 0 : double(p[widest] - from[widest]) / (to[widest] - from[widest]);
      bool fits = t >= -0.02 && t <= 1.02;
      for (size_t i = 0; i < 3; ++i) fits = fits && std::abs(from[i] + t * (to[i] - from[i]) - p[i]) <= 3;
      if (fits) return true;
    }
  return false;
}

// High contrast forced on: the real window paints in the system's colours (and the letters'
// smoothed edges between them), without its picture.
TEST(LauncherWindowHighContrast, PaintsWithTheSystemColoursOnly) {
  OpenLauncher launcher;
  launcher.window.theme().force(true);
  launcher.state.screen.setFocus(launcher.state.screen.findNode(L"Username"));
  RECT client{};
  GetClientRect(launcher.handle(), &client);
  const Testing::Dib dib(client.right, client.bottom);
  ASSERT_TRUE(PrintWindow(launcher.handle(), dib.dc(), PW_CLIENTONLY));
  std::vector<Gui::Colour> system;
  for (const int colour : {COLOR_WINDOW, COLOR_WINDOWTEXT, COLOR_HIGHLIGHT, COLOR_BTNFACE, COLOR_BTNTEXT, COLOR_GRAYTEXT})
    system.push_back(GetSysColor(colour));
  std::set<Gui::Colour> others;
  for (LONG y = 0; y < client.bottom; y += 2)
    for (LONG x = 0; x < client.right; x += 2)
      if (!between(dib.at(x, y), system)) others.insert(dib.at(x, y));
  EXPECT_EQ(others.size(), 0u) << std::hex << (others.empty() ? 0 : *others.begin());
  EXPECT_EQ(dib.at(3, 3), GetSysColor(COLOR_WINDOW));
}

}  // namespace
}  // namespace Corvanthorne
