// Identifiers of the menu commands, dialog templates and dialog controls.
#pragma once

namespace zmr {

// Menu commands.
inline constexpr int IDM_OPEN_OSTREL = 40001;
inline constexpr int IDM_OPEN_BITMAP = 40002;
inline constexpr int IDM_SAVE_ASCII = 40003;
inline constexpr int IDM_EXIT = 40004;
inline constexpr int IDM_POINTS_OPEN = 40005;
inline constexpr int IDM_POINTS_SAVE = 40006;
inline constexpr int IDM_VIEW_VECTORS = 40007;
inline constexpr int IDM_VIEW_NUMBERS = 40008;
inline constexpr int IDM_VIEW_MESH = 40009;
inline constexpr int IDM_VIEW_TRIANGLES = 40010;
inline constexpr int IDM_VIEW_SOURCE = 40011;
inline constexpr int IDM_VIEW_TARGET = 40012;
inline constexpr int IDM_VIEW_SLOT2 = 40013;
inline constexpr int IDM_TRANSFORM = 40014;
inline constexpr int IDM_AUTODETECT = 40015;
inline constexpr int IDM_ADJUST = 40016;
inline constexpr int IDM_BOX_FILTER = 40017;
inline constexpr int IDM_THRESHOLD = 40019;
inline constexpr int IDM_ABOUT = 40020;
inline constexpr int IDM_TARGET_TO_SOURCE = 40021;
inline constexpr int IDM_SAVE_BITMAP = 40022;
inline constexpr int IDM_SAVE_TARGET_ASCII = 40023;
inline constexpr int IDM_ORBIK_SAVE_ASCII = 40024;
inline constexpr int IDM_ORBIK_SAVE_ZMR = 40025;
inline constexpr int IDM_EXTRAPOLATE = 40026;
inline constexpr int IDM_OPTIONS = 40027;
inline constexpr int IDM_OPEN_ASCII = 40028;
inline constexpr int IDM_HELP_TOPICS = 40029;
// Image files beyond the text and bitmap images.
inline constexpr int IDM_OPEN_IMAGE = 40030;
inline constexpr int IDM_SAVE_IMAGE = 40031;
inline constexpr int IDM_SAVE_TARGET_IMAGE = 40032;
// The window's view, its options beyond the eight and its recent files (no zmrcal step).
inline constexpr int IDM_VIEW_FIT = 40040;
inline constexpr int IDM_VIEW_ACTUAL = 40041;
inline constexpr int IDM_VIEW_ZOOM_IN = 40042;
inline constexpr int IDM_VIEW_ZOOM_OUT = 40043;
inline constexpr int IDM_VIEW_STRETCH = 40044;
inline constexpr int IDM_VIEW_LEGEND = 40045;
inline constexpr int IDM_VECTOR_SCALE_FIRST = 40046;  // x1, x2, x5, x10, x20, x50, x100
inline constexpr int IDM_VECTOR_SCALE_LAST = 40052;
inline constexpr int IDM_FURTHER_OPTIONS = 40053;
inline constexpr int IDM_RECENT_CLEAR = 40054;
// The quality report.
inline constexpr int IDM_QUALITY_REPORT = 40070;
inline constexpr int IDM_VIEW_RESIDUALS = 40071;
// Mesh centring has no menu item; this id names it in the command table.
inline constexpr int kCenterMeshCommand = 40100;

// Options dialog edit fields, in the order of the options table.
inline constexpr int IDC_IMAGE_WIDTH = 500;
inline constexpr int IDC_IMAGE_HEIGHT = 501;
inline constexpr int IDC_FILTER_SIZE = 502;
inline constexpr int IDC_MIN_PATCH = 503;
inline constexpr int IDC_EDGE = 504;
inline constexpr int IDC_MAX_SLOPE = 505;
inline constexpr int IDC_XOFFSET = 506;
inline constexpr int IDC_YOFFSET = 507;

// Image-format dialog.
inline constexpr int IDC_FORMAT_XOFF = 510;
inline constexpr int IDC_FORMAT_YOFF = 511;
inline constexpr int IDC_DEFAULT_FORMAT = 531;
inline constexpr int IDC_DEFAULT_PIXELS = 532;
inline constexpr int IDC_LOADED_PIXELS = 533;
inline constexpr int IDC_FORMAT_LIST = 1001;

// Progress dialogs.
inline constexpr int IDC_PROGRESS_BAR = 1000;
inline constexpr int IDC_COUNTER1 = 15;
inline constexpr int IDC_COUNTER2 = 16;
inline constexpr int IDC_COUNTER3 = 17;

// Thresholding dialog.
inline constexpr int IDC_THRESHOLD_SCROLL = 10;
inline constexpr int IDC_THRESHOLD_TEXT = 13;

inline constexpr int IDOK_BUTTON = 1;
inline constexpr int IDCANCEL_BUTTON = 2;

}  // namespace zmr
