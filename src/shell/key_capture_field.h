#pragma once

// An edit field that shows one key combination instead of typed text. The dome keyboard bindings
// store what it reports as a Windows virtual-key code and a modifier mask, so settings written by
// the program stay readable whatever keyboard layer produced them.

#include <QLineEdit>
#include <QString>

class QKeyEvent;

namespace strixc::shell {

// Modifier bits of a stored binding. kAltModifier only takes part in naming: the field itself
// never reports it.
constexpr int kShiftModifier = 1;
constexpr int kCtrlModifier = 2;
constexpr int kAltModifier = 4;

// Virtual-key codes the field's rules name.
namespace vk {
constexpr int kShift = 0x10;
constexpr int kControl = 0x11;
constexpr int kEnd = 0x23;
constexpr int kHome = 0x24;
constexpr int kLeft = 0x25;
constexpr int kUp = 0x26;
constexpr int kRight = 0x27;
constexpr int kDown = 0x28;
constexpr int kInsert = 0x2D;
constexpr int kDelete = 0x2E;
constexpr int kNumpad0 = 0x60;  // kNumpad0 + n for pad n, up to 9
}  // namespace vk

struct CapturedKey {
  int key = 0;        // virtual-key code; 0 while only Shift or Ctrl is held
  int modifiers = 0;  // kShiftModifier | kCtrlModifier

  bool operator==(const CapturedKey&) const = default;
};

// The virtual-key code of a Qt key; `keypad` is whether it came from the number pad. 0 for keys
// without a code.
int VirtualKeyOfQtKey(int qtKey, bool keypad);

// The number-pad rule for extended keys: pad 0 and 1 → End, 2 → Down, 4 → Left, 6 → Right,
// 7 → Home, 8 → Up. Every other code, pad 3, 5 and 9 included, comes back unchanged.
int MapExtendedNumpad(int vk);

// What a key press captures: Shift or Ctrl alone give key 0; the modifiers are those of
// `qtModifiers` reduced to Shift and Ctrl. `qtModifiers` is the state with the key's own change
// applied, as QKeyEvent::modifiers() gives it.
CapturedKey CaptureKey(int qtKey, Qt::KeyboardModifiers qtModifiers);
CapturedKey CaptureKeyEvent(const QKeyEvent& event);
int ModifierMask(Qt::KeyboardModifiers qtModifiers);

// The text the field shows, e.g. "Ctrl + Shift + Left". Key 0 gives the modifier prefixes alone.
QString KeyName(int vk, int modifiers);

class KeyCaptureField : public QLineEdit {
  Q_OBJECT

 public:
  explicit KeyCaptureField(QWidget* parent = nullptr);

  // Shows a stored binding; emits nothing.
  void SetKey(int key, int modifiers);
  int Key() const { return captured_.key; }
  int Modifiers() const { return captured_.modifiers; }

 signals:
  // Whenever the captured key or modifiers change through the keyboard.
  void KeyCaptured(int key, int modifiers);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;

 private:
  void Show(CapturedKey captured);

  CapturedKey captured_;
};

}  // namespace strixc::shell
