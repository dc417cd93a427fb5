#pragma once
// The control ids of the dialog templates, in one table as a resource header keeps them. Ids are
// unique within a template only, so two templates may give one number to different controls;
// the copyright text is 1028 in both templates that have one.

enum ControlId : int {
    // "Bitmap Information"
    IDC_FILE_NAME = 1000,
    IDC_FILE_TYPE = 1001,
    IDC_DIMENSIONS = 1002,
    IDC_RESOLUTION = 1003,
    IDC_PIXEL_DEPTH = 1004,

    // "Select Codec"
    IDC_ALWAYS_USE = 1005,
    IDC_CONFIGURE = 1008,
    IDC_KEY_FRAMES = 1046,
    IDC_CODEC_LIST = 1057,
    IDC_QUALITY = 1058,
    IDC_PERCENT = 1059,
    IDC_QUALITY_LABEL = 1060,

    // The "Configure" page
    IDC_CODEC_NAME = 1007,
    IDC_INPUT_DIR = 1008,
    IDC_INPUT_BROWSE = 1009,
    IDC_SUFFIX = 1012,
    IDC_OUTPUT_DIR = 1014,
    IDC_OUTPUT_BROWSE = 1015,
    IDC_VIDEO_FILE = 1016,
    IDC_REMEMBER_CODEC = 1055,
    IDC_AUTO_POPULATE = 1056,
    IDC_AUTO_SELECT = 1057,
    IDC_AUTO_PROCESS = 1058,
    IDC_OVERWRITE = 1059,

    // The "Video" page
    IDC_PERCENT_CHANGE = 1006,
    IDC_SORT_FIRST = 1010,  // 1010 to 1013: the four sort orders
    IDC_FRAMES_PER_SEC = 1017,
    IDC_FRAME_SLIDER = 1018,
    IDC_FRAMES_SPIN = 1024,
    IDC_PERCENT_SPIN = 1025,
    IDC_COPYRIGHT_LABEL = 1028,
    IDC_COPYRIGHT = 1029,

    // The "Advanced" page
    IDC_AUTO_STOP = 1031,
    IDC_FAST_SCALING = 1032,
    IDC_SLOW_SCALING = 1033,
    IDC_DISPLAY_FILE_NAMES = 1034,
    IDC_DISPLAY_TOOL_TIPS = 1035,
    IDC_WRITE_COPYRIGHT = 1036,

    // "About Pixreel" (its copyright text is IDC_COPYRIGHT_LABEL)
    IDC_VERSION = 1043,
    IDC_WEB_SITE = 1045,
    IDC_EMAIL = 1046,
    IDC_ANIMATION = 1048,

    // "Acknowledgements": the image toolkit's version text
    IDC_PIXIMAGE_VERSION = 1009,
};
