// The window classes every face window is made from: the backend's own five ("NuvWindow",
// "NuvPanel", "NuvBase", "NuvBaseInternal", "NuvCamera") and eleven superclasses over the native
// controls, registered once by gui/init, so that every face window has the backend's window
// slots. Four superclasses add a subclass procedure that forwards what it does not answer to the
// control's own procedure. GUI thread only.
#pragma once
#include <array>
#include <cstdint>
#include <string_view>

#include "host/win/window.h"

namespace nuv::gui::backend {

inline constexpr std::u16string_view kWindowClass = u"NuvWindow";
inline constexpr std::u16string_view kPanelClass = u"NuvPanel";
inline constexpr std::u16string_view kBaseClass = u"NuvBase";
inline constexpr std::u16string_view kBaseInternalClass = u"NuvBaseInternal";
inline constexpr std::u16string_view kCameraClass = u"NuvCamera";
inline constexpr std::u16string_view kButtonFaceClass = u"NuvButton";
inline constexpr std::u16string_view kListBoxFaceClass = u"NuvListBox";
inline constexpr std::u16string_view kProgressFaceClass = u"NuvProgress";
inline constexpr std::u16string_view kSliderFaceClass = u"NuvSlider";
inline constexpr std::u16string_view kScrollerFaceClass = u"NuvScroller";
inline constexpr std::u16string_view kTabPanelFaceClass = u"NuvTabpanel";
inline constexpr std::u16string_view kComboFaceClass = u"NuvCombo";
inline constexpr std::u16string_view kTextFaceClass = u"NuvFace";
inline constexpr std::u16string_view kCalendarFaceClass = u"NuvCalendar";
inline constexpr std::u16string_view kAreaFaceClass = u"NuvArea";
inline constexpr std::u16string_view kFieldFaceClass = u"NuvField";

inline constexpr int32_t kClassCount = 16;

// Registers the own classes, then the superclasses in order, over the controls' classes (which
// host::controls::register_classes registers). A base class that cannot be read prints
// "*** Error in GetClassInfoEx" and raises not-here with the base class's name: start-up stops.
// Classes already registered are kept. Allocates only to raise.
void register_window_classes();
// Unregisters all sixteen; the next register_window_classes starts afresh.
void unregister_window_classes();
// Whether the sixteen are registered.
bool window_classes_registered();

// The subclass procedures, forwarding to the control's original procedure.
host::win::LRESULT combo_subclass_procedure(host::win::HWND, uint32_t, intptr_t, intptr_t);
host::win::LRESULT static_subclass_procedure(host::win::HWND, uint32_t, intptr_t, intptr_t);
host::win::LRESULT calendar_subclass_procedure(host::win::HWND, uint32_t, intptr_t, intptr_t);
host::win::LRESULT edit_subclass_procedure(host::win::HWND, uint32_t, intptr_t, intptr_t);

// The text room a paste makes beyond the control's length and the clipboard's text.
inline constexpr int32_t kPasteRoom = 32768;

}  // namespace nuv::gui::backend
