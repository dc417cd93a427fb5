#include "platform/StringTable.h"

#include <cstring>

namespace {

struct Entry {
    unsigned id;
    const char* text;
};

// The texts are the program's own, letter for letter, including their slips of spelling.
constexpr Entry kTable[] = {
    {IDS_APP_TITLE, "Pixreel"},
    {IDS_READY, "Ready"},
    {IDS_CHOOSE_INPUT_DIR, "Chose the Input Directory"},
    {IDS_CHOOSE_OUTPUT_DIR, "Chose the Output Directory"},
    {IDS_CONFIGURE, "Configure"},
    {IDS_CONFIG_UPDATED, "The configuration has been updated"},
    {IDS_DATA_CLEARED, "The data has been cleared down the data in this display"},
    {ID_INDICATOR_TIME, " 88:88:88"},
    {ID_INDICATOR_FILE_NUMBER, "1"},
    {ID_INDICATOR_FILE_COUNT, "1"},
    {ID_INDICATOR_FILE_NAME, "The name of a file a long one a very ver long one"},
    {ID_INDICATOR_FAILURES, "1"},
    {IDS_AVI_CLOSED, "The AVI file has been closed"},
    {IDS_NO_FILES_SELECTED, "No files have been selected. Please select some."},
    {IDS_FAILED_TO_OPEN, "Failed to open %s"},
    {IDS_FAILED_TO_OPEN_AVI_OR_CANCELLED, "Failed to open the AVI file. Or operation cancelled by user."},
    {IDS_OPENED_AVI, "Opened AVI file %s"},
    {IDS_PROCESSED, "Processed %s"},
    {IDS_FAILED_TO_PROCESS, "Failed to process %s"},
    {IDS_FAILED_TO_WRITE_AVI, "Failed to write to the AVI file"},
    {IDS_FAILED_TO_OPEN_AVI, "Failed to open AVI file %s"},
    {IDS_STILL_PROCESSING, "Please wait files are still being processed"},
    {IDS_STOPPED_BY_USER, "Processing stopped by user"},
    {IDS_DIFFERENT_SIZE, "Bitmap file is a different size %s"},
    {IDS_DROPPED, "Dropped %s"},
    {IDS_NO_DIRECTORY_ARG, "No directory has been specified after the -d parameter"},
    {IDS_NO_SUFFIX_ARG, "No suffix has been specified after the -f parameter"},
    {IDS_NO_OUTPUT_ARG, "No output file name has been specified after the -o parameter"},
    {IDS_SERIOUS_ERROR_1, "Serious  error No. 1 has occurred please report to " PIXREEL_SUPPORT_EMAIL
                          " and supply the command line arguments you were using."},
    {IDS_FAILED_TO_OPEN_LOG, "Failed to open the log file %s"},
    {IDS_TOO_MANY_FILES, "There are too many files, processing the first %d only.\nTry closing some programs down."},
    {IDS_STOPPING, "Stopping Processing"},
    {IDS_ABORT_REQUEST, "Abort processing request"},
    {IDS_SERIOUS_ERROR_REPORT, "Serious Error. please send an email to " PIXREEL_SUPPORT_EMAIL
                               " containg this error message.\r\n%s\r\n%sError code 0x%04x"},
    {IDS_ERROR_FAILED_TO_OPEN, "Error. Failed to open %s"},
    {IDS_CODEC_DIALOG_ERROR, "Error displaying the Codec dilaog box, please try re starting Pixreel or rebooting your PC."},
    {IDS_STOP_QUESTION, "Warning: Files are still being processed are you sure  you want to stop?"},
    {IDS_FAILED_TO_OPEN_FILE, "Failed to open the file %s"},
    {IDS_FAILED_TO_WRITE_FILE, "Failed to write to file %s"},
    {IDS_COMPRESSOR_FAILED, "Failed to start the video compressor %s for the file %s"},
    {IDS_FORMAT_FAILED, "Failed to set the frame format of the file %s"},
    {IDS_SETTINGS_UNREADABLE, "The settings file %s cannot be read (%s); the default settings are used"},
    {IDS_INPUT_FOLDER_UNREADABLE, "The input folder %s cannot be read: %s"},
    {IDS_OUTPUT_IN_USE, "The AVI file %s is in use by another Pixreel"},
    {IDS_OUTPUT_PATH_TOO_LONG, "The output folder of the settings is longer than %d bytes and is not used: %s"},
    {IDS_OUTPUT_FULL, "Cannot write to %s: %s. The conversion stops here."},
    {IDS_FORMAT_REFUSED,
     "The compressor %s does not take pictures of %s x %s pixels at %s bits; choose another one for %s"},
    {IDS_NO_COMPRESSOR, "The compressor %s is not available on this machine; choose another one for %s"},
    {IDS_IMAGE_WARNING, "%s: %s"},
    {IDS_STOP_ABANDONED, "The conversion did not stop in time; the video is closed with the frames written so far"},
};

}  // namespace

const char* LoadStringText(unsigned id) {
    for (const Entry& entry : kTable) {
        if (entry.id == id)
            return entry.text;
    }
    return nullptr;
}

int LoadStringA(unsigned id, char* buffer, size_t size) {
    if (!buffer || size == 0)
        return 0;
    const char* text = LoadStringText(id);
    size_t length = text ? std::strlen(text) : 0;
    if (length > size - 1)
        length = size - 1;
    if (length)
        std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}
