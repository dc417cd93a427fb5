#pragma once
// The compression options: the record that travels between the Select Codec dialog and the AVI
// writer, and its storage in section "Codec" of the INI file.

#include <cstddef>
#include <string>

#include "platform/AviFile.h"

/// What the worker hands to the main window to have the Select Codec dialog run.
struct CodecRequest {
    const char* SampleFile;          // full path of the image that becomes the first frame
    AVICOMPRESSOPTIONS* Options;     // in/out
    int AlwaysUse;                   // out; 0 on entry
    char CodecName[256];             // out
};

/// Reads the stored options and the codec name (at most 127 characters, nameSize bytes at
/// most). Missing keys read as 0, a missing name as "". The format and state references are
/// never taken from the file.
void LoadCompressOptions(AVICOMPRESSOPTIONS& options, char* codecName, size_t nameSize);

/// Stores the options ("%u" each, "KeyFrameEvery" written twice as it is read twice) and the
/// codec name. Written also while the program runs with arguments.
void SaveCompressOptions(const AVICOMPRESSOPTIONS& options, const char* codecName);

/// The four characters of a compressor code, as they read ("MJPG", "DIB "); a code with any
/// byte that is not a printable ASCII character as "0x" and eight hexadecimal digits.
std::string FourCCText(DWORD code);
