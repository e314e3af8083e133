#include "os/linux/wayland_keys.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <string_view>

namespace slidesaver {
namespace {

// Keysyms and the virtual-key codes they stand for (VK_BACK 8, VK_TAB 9, VK_RETURN 13,
// VK_SHIFT 16, VK_CONTROL 17, VK_MENU 18, VK_ESCAPE 27, VK_SPACE 32, VK_PRIOR 33 ... VK_DOWN 40,
// VK_NUMPAD0 96 ... VK_DIVIDE 111, VK_OEM_1 186 ...).
struct NamedKey {
  std::uint32_t keysym;
  std::uint16_t vk;
};
constexpr NamedKey kNamedKeys[] = {
    {XKB_KEY_BackSpace, 8},    {XKB_KEY_Tab, 9},           {XKB_KEY_ISO_Left_Tab, 9},
    {XKB_KEY_Return, 13},      {XKB_KEY_KP_Enter, 13},     {XKB_KEY_Shift_L, 16},
    {XKB_KEY_Shift_R, 16},     {XKB_KEY_Control_L, 17},    {XKB_KEY_Control_R, 17},
    {XKB_KEY_Alt_L, 18},       {XKB_KEY_Alt_R, 18},        {XKB_KEY_ISO_Level3_Shift, 18},
    {XKB_KEY_Pause, 19},       {XKB_KEY_Caps_Lock, 20},    {XKB_KEY_Escape, 27},
    {XKB_KEY_space, 32},       {XKB_KEY_Prior, 33},        {XKB_KEY_Next, 34},
    {XKB_KEY_End, 35},         {XKB_KEY_Home, 36},         {XKB_KEY_Left, 37},
    {XKB_KEY_Up, 38},          {XKB_KEY_Right, 39},        {XKB_KEY_Down, 40},
    {XKB_KEY_Print, 44},       {XKB_KEY_Insert, 45},       {XKB_KEY_Delete, 46},
    {XKB_KEY_Super_L, 91},     {XKB_KEY_Super_R, 92},      {XKB_KEY_Menu, 93},
    {XKB_KEY_KP_0, 96},        {XKB_KEY_KP_Insert, 96},    {XKB_KEY_KP_Multiply, 106},
    {XKB_KEY_KP_Add, 107},     {XKB_KEY_KP_Subtract, 109}, {XKB_KEY_KP_Decimal, 110},
    {XKB_KEY_KP_Delete, 110},  {XKB_KEY_KP_Divide, 111},   {XKB_KEY_Num_Lock, 144},
    {XKB_KEY_Scroll_Lock, 145}, {XKB_KEY_semicolon, 186},  {XKB_KEY_equal, 187},
    {XKB_KEY_comma, 188},      {XKB_KEY_minus, 189},       {XKB_KEY_period, 190},
    {XKB_KEY_slash, 191},      {XKB_KEY_grave, 192},       {XKB_KEY_bracketleft, 219},
    {XKB_KEY_backslash, 220},  {XKB_KEY_bracketright, 221}, {XKB_KEY_apostrophe, 222},
};
constexpr std::uint16_t kVkF1 = 112;
constexpr std::uint16_t kVkNumpad1 = 97;
constexpr std::uint16_t kVkOther = 255;

// The letters and digits of a US keyboard by their evdev codes, from code 2 on ("." is no key
// of either kind).
constexpr std::string_view kPositions = "1234567890....QWERTYUIOP....ASDFGHJKL.....ZXCVBNM";
constexpr std::uint32_t kFirstPosition = 2;

std::uint16_t Offset(std::uint16_t base, std::uint32_t by) {
  return static_cast<std::uint16_t>(base + by);
}

}  // namespace

std::uint16_t VirtualKeyOf(std::uint32_t sym, std::uint32_t evdevCode) {
  if (sym >= XKB_KEY_a && sym <= XKB_KEY_z) return Offset('A', sym - XKB_KEY_a);
  if (sym >= XKB_KEY_A && sym <= XKB_KEY_Z) return Offset('A', sym - XKB_KEY_A);
  if (sym >= XKB_KEY_0 && sym <= XKB_KEY_9) return Offset('0', sym - XKB_KEY_0);
  if (sym >= XKB_KEY_F1 && sym <= XKB_KEY_F24) return Offset(kVkF1, sym - XKB_KEY_F1);
  if (sym >= XKB_KEY_KP_1 && sym <= XKB_KEY_KP_9) return Offset(kVkNumpad1, sym - XKB_KEY_KP_1);
  for (const NamedKey& key : kNamedKeys) {
    if (key.keysym == sym) return key.vk;
  }
  if (evdevCode >= kFirstPosition && evdevCode - kFirstPosition < kPositions.size()) {
    const char c = kPositions[evdevCode - kFirstPosition];
    if (c != '.') return static_cast<std::uint16_t>(c);
  }
  return kVkOther;
}

}  // namespace slidesaver
