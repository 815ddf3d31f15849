#pragma once
// The accessible tree of a custom-drawn window, handed to screen readers: the window answers
// WM_GETOBJECT for its client area with an IAccessible of its own (the system's standard
// objects are not leaned on), and raises the system's events for what changed.
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "common/com_win.h"
#include "gui/accessible.h"

namespace Corvanthorne::Gui {

// Where a window's objects come from; called on the window's thread. Objects without a
// control are told apart by their row.
class AccessibleSource {
 public:
  virtual ~AccessibleSource() = default;
  virtual std::vector<AccessibleObject> accessibleObjects() = 0;
  // The object under a point of the client area, or -1: by default the last one whose
  // rectangle holds the point.
  virtual int32_t objectAt(const std::vector<AccessibleObject>& tree, int32_t x, int32_t y);
  virtual bool defaultAction(const AccessibleObject&) { return false; }
  virtual bool takeFocus(const AccessibleObject&) { return false; }
};

// A GUI screen's objects, actions and focus; `changed` runs after an action (to repaint).
class ScreenAccessibleSource final : public AccessibleSource {
 public:
  ScreenAccessibleSource(Screen& screen, std::function<void()> changed) : screen_(screen), changed_(std::move(changed)) {}
  std::vector<AccessibleObject> accessibleObjects() override { return accessibleTree(screen_); }
  int32_t objectAt(const std::vector<AccessibleObject>& tree, int32_t x, int32_t y) override;
  bool defaultAction(const AccessibleObject& object) override;
  bool takeFocus(const AccessibleObject& object) override;

 private:
  Screen& screen_;
  std::function<void()> changed_;
};

struct AccessibleConnection;

// One per window, made when the window is and ended when it is destroyed: objects still held
// by clients then answer CO_E_OBJNOTCONNECTED.
class AccessibleWindow {
 public:
  AccessibleWindow(HWND window, AccessibleSource& source);
  ~AccessibleWindow();
  AccessibleWindow(const AccessibleWindow&) = delete;
  AccessibleWindow& operator=(const AccessibleWindow&) = delete;

  // The answer to WM_GETOBJECT for the client area; none for other objects (the default
  // window procedure answers those).
  std::optional<LRESULT> getObject(WPARAM wParam, LPARAM lParam);
  // Raises focus, state, value, name and dialog events for what changed since the last call,
  // once a client has asked for the objects (until then nobody listens and nothing is built).
  void announceChanges();

 private:
  std::optional<ComScope> com_;  // the objects reach clients through COM, from the first request on
  std::shared_ptr<AccessibleConnection> connection_;
};

}  // namespace Corvanthorne::Gui
