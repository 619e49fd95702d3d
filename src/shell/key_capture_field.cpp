#include "shell/key_capture_field.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QPalette>

#include "shell/string_ids.h"

namespace strixc::shell {
namespace {

struct KeyPair {
  int qtKey;
  int vk;
};

// Keys whose codes are not a run. Qt reports the shifted character ("!" for Shift+1) while the
// binding stores the key that carries it on a US layout (0x31), so the shifted symbols follow,
// mapped to those keys; naming searches from the top and finds the unshifted key first.
constexpr KeyPair kKeyPairs[] = {
    {Qt::Key_Backspace, 0x08}, {Qt::Key_Tab, 0x09},        {Qt::Key_Clear, 0x0C},
    {Qt::Key_Return, 0x0D},    {Qt::Key_Enter, 0x0D},      {Qt::Key_Shift, vk::kShift},
    {Qt::Key_Control, vk::kControl}, {Qt::Key_Alt, 0x12},  {Qt::Key_Pause, 0x13},
    {Qt::Key_CapsLock, 0x14},  {Qt::Key_Escape, 0x1B},     {Qt::Key_Space, 0x20},
    {Qt::Key_PageUp, 0x21},    {Qt::Key_PageDown, 0x22},   {Qt::Key_End, vk::kEnd},
    {Qt::Key_Home, vk::kHome}, {Qt::Key_Left, vk::kLeft},  {Qt::Key_Up, vk::kUp},
    {Qt::Key_Right, vk::kRight}, {Qt::Key_Down, vk::kDown}, {Qt::Key_Print, 0x2C},
    {Qt::Key_Insert, vk::kInsert}, {Qt::Key_Delete, vk::kDelete}, {Qt::Key_Help, 0x2F},
    {Qt::Key_Meta, 0x5B},      {Qt::Key_Menu, 0x5D},       {Qt::Key_NumLock, 0x90},
    {Qt::Key_ScrollLock, 0x91}, {Qt::Key_Semicolon, 0xBA}, {Qt::Key_Equal, 0xBB},
    {Qt::Key_Comma, 0xBC},     {Qt::Key_Minus, 0xBD},      {Qt::Key_Period, 0xBE},
    {Qt::Key_Slash, 0xBF},     {Qt::Key_QuoteLeft, 0xC0},  {Qt::Key_BracketLeft, 0xDB},
    {Qt::Key_Backslash, 0xDC}, {Qt::Key_BracketRight, 0xDD}, {Qt::Key_Apostrophe, 0xDE},
    {Qt::Key_Backtab, 0x09},   {Qt::Key_Exclam, 0x31},     {Qt::Key_At, 0x32},
    {Qt::Key_NumberSign, 0x33}, {Qt::Key_Dollar, 0x34},    {Qt::Key_Percent, 0x35},
    {Qt::Key_AsciiCircum, 0x36}, {Qt::Key_Ampersand, 0x37}, {Qt::Key_Asterisk, 0x38},
    {Qt::Key_ParenLeft, 0x39}, {Qt::Key_ParenRight, 0x30}, {Qt::Key_Colon, 0xBA},
    {Qt::Key_Plus, 0xBB},      {Qt::Key_Less, 0xBC},       {Qt::Key_Underscore, 0xBD},
    {Qt::Key_Greater, 0xBE},   {Qt::Key_Question, 0xBF},   {Qt::Key_AsciiTilde, 0xC0},
    {Qt::Key_BraceLeft, 0xDB}, {Qt::Key_Bar, 0xDC},        {Qt::Key_BraceRight, 0xDD},
    {Qt::Key_QuoteDbl, 0xDE},
};

// The number pad's own operator keys.
constexpr KeyPair kPadOperators[] = {
    {Qt::Key_Asterisk, 0x6A}, {Qt::Key_Plus, 0x6B}, {Qt::Key_Minus, 0x6D},
    {Qt::Key_Period, 0x6E},   {Qt::Key_Comma, 0x6E}, {Qt::Key_Slash, 0x6F},
};

// With NumLock off the pad's digit keys arrive as navigation keys; index n is pad n.
constexpr int kPadNavigation[] = {Qt::Key_Insert, Qt::Key_End,   Qt::Key_Down, Qt::Key_PageDown,
                                  Qt::Key_Left,   Qt::Key_Clear, Qt::Key_Right, Qt::Key_Home,
                                  Qt::Key_Up,     Qt::Key_PageUp};

constexpr int kF1 = 0x70;
constexpr int kFunctionKeys = 24;
constexpr int kDigit0 = 0x30;
constexpr int kLetterA = 0x41;

int QtKeyOfVirtualKey(int code, bool* keypad) {
  *keypad = false;
  if (code >= kDigit0 && code <= kDigit0 + 9) return Qt::Key_0 + (code - kDigit0);
  if (code >= kLetterA && code <= kLetterA + 25) return Qt::Key_A + (code - kLetterA);
  if (code >= kF1 && code < kF1 + kFunctionKeys) return Qt::Key_F1 + (code - kF1);
  if (code >= vk::kNumpad0 && code <= vk::kNumpad0 + 9) {
    *keypad = true;
    return Qt::Key_0 + (code - vk::kNumpad0);
  }
  for (const KeyPair& pair : kPadOperators) {
    if (pair.vk == code) {
      *keypad = true;
      return pair.qtKey;
    }
  }
  for (const KeyPair& pair : kKeyPairs) {
    if (pair.vk == code) return pair.qtKey;
  }
  return 0;
}

// The names the program's own texts give, in every language.
int NameTextOf(int code) {
  switch (code) {
    case 0x08: return text::kKeyBackspace;
    case 0x09: return text::kKeyTab;
    case 0x0D: return text::kKeyEnter;
    case 0x13: return text::kKeyPause;
    case 0x14: return text::kKeyCapsLock;
    case 0x1B: return text::kKeyEscape;
    case 0x20: return text::kKeySpace;
    case 0x21: return text::kKeyPageUp;
    case 0x22: return text::kKeyPageDown;
    case 0x2C: return text::kKeyPrint;
    case 0x90: return text::kKeyNumLock;
    case 0x91: return text::kKeyScrollLock;
    case vk::kEnd: return text::kKeyEnd;
    case vk::kHome: return text::kKeyHome;
    case vk::kLeft: return text::kKeyLeft;
    case vk::kUp: return text::kKeyUp;
    case vk::kRight: return text::kKeyRight;
    case vk::kDown: return text::kKeyDown;
    case vk::kInsert: return text::kKeyInsert;
    case vk::kDelete: return text::kKeyDelete;
    default: return 0;
  }
}

QString TextOf(int id) {
  const std::string_view text = Text(id);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

int VirtualKeyOfQtKey(int qtKey, bool keypad) {
  if (keypad) {
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return vk::kNumpad0 + (qtKey - Qt::Key_0);
    // A pad key with NumLock off arrives as a navigation key: it is still the pad's digit key,
    // with that key's own code, so a binding neither changes with NumLock nor takes the grey
    // arrow and page keys for the pad's.
    for (int pad = 0; pad < 10; ++pad) {
      if (kPadNavigation[pad] == qtKey) return vk::kNumpad0 + pad;
    }
    for (const KeyPair& pair : kPadOperators) {
      if (pair.qtKey == qtKey) return pair.vk;
    }
  }
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return kDigit0 + (qtKey - Qt::Key_0);
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return kLetterA + (qtKey - Qt::Key_A);
  if (qtKey >= Qt::Key_F1 && qtKey < Qt::Key_F1 + kFunctionKeys) return kF1 + (qtKey - Qt::Key_F1);
  for (const KeyPair& pair : kKeyPairs) {
    if (pair.qtKey == qtKey) return pair.vk;
  }
  return 0;
}

int MapExtendedNumpad(int code) {
  switch (code - vk::kNumpad0) {
    case 0:
    case 1: return vk::kEnd;
    case 2: return vk::kDown;
    case 4: return vk::kLeft;
    case 6: return vk::kRight;
    case 7: return vk::kHome;
    case 8: return vk::kUp;
    default: return code;
  }
}

int ModifierMask(Qt::KeyboardModifiers qtModifiers) {
  int mask = 0;
  if (qtModifiers & Qt::ShiftModifier) mask |= kShiftModifier;
  if (qtModifiers & Qt::ControlModifier) mask |= kCtrlModifier;
  return mask;
}

CapturedKey CaptureKey(int qtKey, Qt::KeyboardModifiers qtModifiers) {
  CapturedKey captured;
  captured.modifiers = ModifierMask(qtModifiers);
  if (qtKey == Qt::Key_Shift || qtKey == Qt::Key_Control) return captured;
  captured.key = VirtualKeyOfQtKey(qtKey, qtModifiers & Qt::KeypadModifier);
  return captured;
}

CapturedKey CaptureKeyEvent(const QKeyEvent& event) {
  return CaptureKey(event.key(), event.modifiers());
}

QString KeyName(int code, int modifiers) {
  QString name;
  if (const int id = NameTextOf(code)) {
    name = TextOf(id);
  } else if (code >= vk::kNumpad0 && code <= vk::kNumpad0 + 9) {
    name = TextOf(text::kKeyNumPad).replace(QStringLiteral("%d"), QString::number(code - vk::kNumpad0));
  } else if (code != 0) {
    bool keypad = false;
    const int qtKey = QtKeyOfVirtualKey(code, &keypad);
    if (qtKey != 0) {
      const QKeyCombination combination(keypad ? Qt::KeypadModifier : Qt::NoModifier,
                                        static_cast<Qt::Key>(qtKey));
      name = QKeySequence(combination).toString(QKeySequence::NativeText);
    }
  }
  if (modifiers & kAltModifier) name.prepend(TextOf(text::kKeyAltPlus));
  if (modifiers & kShiftModifier) name.prepend(TextOf(text::kKeyShiftPlus));
  if (modifiers & kCtrlModifier) name.prepend(TextOf(text::kKeyCtrlPlus));
  return name;
}

KeyCaptureField::KeyCaptureField(QWidget* parent) : QLineEdit(parent) {
  // Read-only hides the caret and refuses typed text; the key handlers below still run.
  setReadOnly(true);
  setContextMenuPolicy(Qt::NoContextMenu);
  setAttribute(Qt::WA_InputMethodEnabled, false);
  QPalette colours = palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    colours.setColor(group, QPalette::Base, QColor(74, 79, 85));
    colours.setColor(group, QPalette::Text, QColor(193, 197, 200));
  }
  setPalette(colours);
}

void KeyCaptureField::SetKey(int key, int modifiers) {
  captured_ = CapturedKey{key, modifiers};
  setText(KeyName(key, modifiers));
}

void KeyCaptureField::keyPressEvent(QKeyEvent* event) {
  event->accept();
  Show(CaptureKeyEvent(*event));
}

void KeyCaptureField::keyReleaseEvent(QKeyEvent* event) {
  event->accept();
  if (captured_.key != 0) return;
  const CapturedKey refreshed{0, ModifierMask(event->modifiers())};
  if (refreshed != captured_) Show(refreshed);
}

void KeyCaptureField::Show(CapturedKey captured) {
  captured_ = captured;
  setText(KeyName(captured.key, captured.modifiers));
  emit KeyCaptured(captured.key, captured.modifiers);
}

}  // namespace strixc::shell
