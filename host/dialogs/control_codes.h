// The control messages, styles and notifications the dialogs' windows use, by their numbers in
// the window model's control protocol (host/controls answers them).
#pragma once
#include <cstdint>

namespace nuv::host::dialogs::codes {

inline constexpr uint32_t BS_DEFPUSHBUTTON = 0x1;
inline constexpr uint32_t BS_AUTOCHECKBOX = 0x3;
inline constexpr uint32_t BM_GETCHECK = 0x00F0;
inline constexpr uint32_t BM_SETCHECK = 0x00F1;
inline constexpr uint32_t BN_CLICKED = 0;
inline constexpr uint32_t ES_AUTOHSCROLL = 0x0080;
inline constexpr uint32_t EM_SETSEL = 0x00B1;
inline constexpr uint32_t LBS_NOTIFY = 0x0001;
inline constexpr uint32_t LB_ADDSTRING = 0x0180;
inline constexpr uint32_t LB_RESETCONTENT = 0x0184;
inline constexpr uint32_t LB_SETCURSEL = 0x0186;
inline constexpr uint32_t LB_GETCURSEL = 0x0188;
inline constexpr uint32_t LB_GETTEXT = 0x0189;
inline constexpr uint32_t LB_GETTEXTLEN = 0x018A;
inline constexpr uint32_t LBN_SELCHANGE = 1;
inline constexpr uint32_t CBS_DROPDOWNLIST = 0x0003;
inline constexpr uint32_t CB_ADDSTRING = 0x0143;
inline constexpr uint32_t CB_GETCURSEL = 0x0147;
inline constexpr uint32_t CB_SETCURSEL = 0x014E;
inline constexpr uint32_t CBN_SELCHANGE = 1;

}  // namespace nuv::host::dialogs::codes
