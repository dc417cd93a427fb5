#pragma once
// The program's string table: every user-visible message under its identifier, and the status
// pane identifiers that share the table's numbering.

#include <cstddef>

/// The maker's support address named in the serious-error messages and the About box. A macro
/// as well, so the table's texts can be joined with it at compile time.
#define PIXREEL_SUPPORT_EMAIL "support@pixreel.org"
inline constexpr const char* kSupportEmail = PIXREEL_SUPPORT_EMAIL;

enum StringId : unsigned {
    IDS_APP_TITLE = 57344,                 // "Pixreel"
    IDS_READY = 57345,                     // "Ready"
    IDS_CHOOSE_INPUT_DIR = 61204,
    IDS_CHOOSE_OUTPUT_DIR = 61205,
    IDS_CONFIGURE = 61206,
    IDS_CONFIG_UPDATED = 61207,
    IDS_DATA_CLEARED = 61208,
    ID_INDICATOR_TIME = 61209,             // sizing text of the elapsed-time pane
    ID_INDICATOR_FILE_NUMBER = 61210,
    ID_INDICATOR_FILE_COUNT = 61211,
    ID_INDICATOR_FILE_NAME = 61212,        // sizing text of the file-name pane
    ID_INDICATOR_FAILURES = 40012,
    IDS_AVI_CLOSED = 61216,
    IDS_NO_FILES_SELECTED = 61217,
    IDS_FAILED_TO_OPEN = 61218,            // "Failed to open %s"
    IDS_FAILED_TO_OPEN_AVI_OR_CANCELLED = 61219,
    IDS_OPENED_AVI = 61222,
    IDS_PROCESSED = 61223,
    IDS_FAILED_TO_PROCESS = 61224,
    IDS_FAILED_TO_WRITE_AVI = 61226,
    IDS_FAILED_TO_OPEN_AVI = 61227,
    IDS_STILL_PROCESSING = 61228,
    IDS_STOPPED_BY_USER = 61229,
    IDS_DIFFERENT_SIZE = 61230,
    IDS_DROPPED = 61231,
    IDS_NO_DIRECTORY_ARG = 61232,
    IDS_NO_SUFFIX_ARG = 61233,
    IDS_NO_OUTPUT_ARG = 61234,
    IDS_SERIOUS_ERROR_1 = 61235,
    IDS_FAILED_TO_OPEN_LOG = 61238,
    IDS_TOO_MANY_FILES = 61239,
    IDS_STOPPING = 61240,
    IDS_ABORT_REQUEST = 61241,
    IDS_SERIOUS_ERROR_REPORT = 61242,      // "...\r\n%s\r\n%sError code 0x%04x"
    IDS_ERROR_FAILED_TO_OPEN = 61243,
    IDS_CODEC_DIALOG_ERROR = 61244,
    IDS_STOP_QUESTION = 61245,
    IDS_FAILED_TO_OPEN_FILE = 40009,       // "Failed to open the file %s"
    IDS_FAILED_TO_WRITE_FILE = 40011,      // "Failed to write to file %s"
    IDS_COMPRESSOR_FAILED = 40020,         // "Failed to start the video compressor %s for the file %s"
    IDS_FORMAT_FAILED = 40021,             // "Failed to set the frame format of the file %s"
    IDS_SETTINGS_UNREADABLE = 40030,       // "The settings file %s cannot be read (%s); ..."
    IDS_INPUT_FOLDER_UNREADABLE = 40031,   // "The input folder %s cannot be read: %s"
    IDS_OUTPUT_IN_USE = 40032,             // "The AVI file %s is in use by another Pixreel"
    IDS_OUTPUT_PATH_TOO_LONG = 40033,      // "The output folder of the settings is too long ..."
    IDS_OUTPUT_FULL = 40034,               // "Cannot write to %s: %s. The conversion stops here."
    IDS_FORMAT_REFUSED = 40035,            // "The compressor %s does not take pictures of ..."
    IDS_NO_COMPRESSOR = 40036,             // "The compressor %s is not available on this machine ..."
    IDS_IMAGE_WARNING = 40037,             // "%s: %s" (file name: the decoder's warning)
    IDS_STOP_ABANDONED = 40038,            // "The conversion did not stop in time; ..."
};

/// The text of a string-table entry; nullptr when the table has no such entry.
const char* LoadStringText(unsigned id);

/// Copies the entry into buffer, cut to size - 1 bytes and terminated; returns the number of bytes
/// copied (0 and an empty buffer when the entry is missing).
int LoadStringA(unsigned id, char* buffer, size_t size);
